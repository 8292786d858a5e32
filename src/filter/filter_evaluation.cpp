#include <algorithm>
#include <cmath>
#include <utility>

#include "filter/filter_sys.h"

namespace tarvelmond {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTickSeconds = 0.002;  // every evaluation stands for one 2 ms tick

// Reflections done one at a time before the remaining distance is removed with fmod. Below this count
// the result is bit-identical to folding step by step; the bound keeps the worst case to a few
// microseconds on the real-time path.
constexpr int kStepwiseReflections = 1024;

struct Scales {
    double value;
    double lowPass;
    double highPass;
};

double emaLength(float length, double scale) {
    const double n = length * scale;
    return std::abs(n) < 1.0 ? 1.0 : n;
}

// A non-finite sample would stay in the state for ever (it never decays), so it is refused and the state
// keeps its value; the same holds for a finite sample too large for the single-precision state.
bool advanceEma(float& state, double x, double n) {
    if (!std::isfinite(x)) return false;
    const float next = static_cast<float>((x - state) / n + state);
    if (!std::isfinite(next)) return false;
    state = next;
    return true;
}

double lowPass(FilterSys& stage, double x, double scale) {
    advanceEma(stage.state, x, emaLength(stage.p1, scale));
    return stage.state;
}

double highPass(FilterSys& stage, double x, double scale) {
    return advanceEma(stage.state, x, emaLength(stage.p1, scale)) ? x - stage.state : 0.0;
}

// a * tanh(slope * x / a), written in the logistic form so that it saturates cleanly where tanh's
// argument would be huge.
double logistic(double x, double limit, double slope) {
    const double a = std::abs(limit) < 1e-9 ? std::copysign(1e-9, limit) : limit;
    const double k = 0.0002 / ((a / 100.0) * (a / 100.0));
    const double t = std::clamp(slope * x, -1e6, 1e6);
    const double e = std::exp(t * (-k * a));
    const double r = a / (e * (a / (a * 0.5) - 1.0) + 1.0) - a * 0.5;
    return r + r;
}

// Folds x back and forth into [-limit, limit]. Reflecting one step at a time only ends for a positive
// limit and a finite x, and it takes about |x| / (2 limit) steps, which is unbounded (1e300 with limit 1
// even oscillates for ever, as 1e300 - 1 == 1e300). So:
// - a non-finite x folds to 0, and a limit of 0 (a band of width 0) gives 0;
// - a negative limit describes the same band as its absolute value;
// - far outside the band, the whole periods of 4 * limit that the step-by-step fold would walk off are
//   removed at once with fmod, which is exact; only the rounding that the stepwise fold accumulates
//   differs, so up to kStepwiseReflections steps the result is identical to it.
double rollover(double x, double limitArgument) {
    if (!std::isfinite(x)) return 0.0;
    const double limit = std::abs(limitArgument);
    if (limit == 0.0) return 0.0;

    const auto outside = [limit](double v) { return v > limit || v < -limit; };
    const auto reflect = [limit](double v) { return v > 0.0 ? limit - (v - limit) : -limit - (limit + v); };

    // Each reflection brings |x| at most 2 * limit closer, so this far out the steps can't finish in time.
    // Written negated so that a NaN limit, for which the stepwise fold ends at once, takes the steps too.
    if (!(std::abs(x) > 4.0 * limit * kStepwiseReflections)) {
        for (int step = 0; step < kStepwiseReflections && outside(x); ++step)
            x = reflect(x);
        if (!outside(x)) return x;
    }
    // Now |x| < 4 * limit, from where two reflections reach the band (three if rounding lands on an
    // edge). The fmod is never reached with a limit so large that 4 * limit overflows.
    x = std::fmod(x, 4.0 * limit);
    for (int step = 0; step < 4 && outside(x); ++step)
        x = reflect(x);
    return std::clamp(x, -limit, limit);
}

// The phase is kept in [0, 2 pi) in both directions: a phase left to run away would lose the precision
// of its single-precision state and the sine would drift. A non-finite step (from an infinite frequency)
// leaves the phase where it was.
double sinus(FilterSys& stage) {
    float phase = static_cast<float>(stage.state + stage.p2 * kTwoPi * kTickSeconds);
    if (phase > kTwoPi) {
        phase = static_cast<float>(std::fmod(phase, kTwoPi));
    } else if (phase < 0.0f) {
        phase = static_cast<float>(std::fmod(phase, kTwoPi) + kTwoPi);
    }
    if (std::isfinite(phase)) stage.state = phase;
    const float sine = std::sin(stage.state);  // the float overload: the sine is single precision
    return sine * static_cast<double>(stage.p1);
}

double bitScale(double x, double inMax, double outMax) {
    if (std::abs(inMax) < 1e-9 || x < 0.0) return 0.0;
    return std::min(inMax, x) / inMax * outMax;
}

double bitScaleSigned(double x, double inMax, double outMax) {
    if (std::abs(inMax) < 1e-9) return 0.0;
    return std::min(inMax, std::max(-inMax, x)) / inMax * outMax;
}

double remap(double x, double inLow, double inHigh, double outLow, double outHigh) {
    if (!(std::abs(inHigh - inLow) > 1e-9)) return x;
    return (x - inLow) * ((outHigh - outLow) / (inHigh - inLow)) + outLow;
}

double applyOperator(FilterSys& stage, double x, const Scales& scales) {
    const double p1 = stage.p1;
    const double p2 = stage.p2;
    switch (stage.kind) {
        case VALUE:
            return x * scales.value;
        case EMALP:
            return lowPass(stage, x, scales.lowPass);
        case EMAHP:
            return highPass(stage, x, scales.highPass);
        case MUL:
        case GAIN:
            return x * p1;
        case LOGISTIC:
            return logistic(x, p1, p2);
        case CROP:
            return std::max(p1, std::min(p2, x));
        case ROLLOVER:
            return rollover(x, p1);
        case REMAP:
            return remap(x, p1, p2, stage.p3, stage.p4);
        case NOISE:
            return stage.noise ? x + static_cast<double>(stage.noise->advance()) : x;
        case BITSCALE:
            return bitScale(x, p1, p2);
        case BITSCALESIGNED:
            return bitScaleSigned(x, p1, p2);
        case SINUS:
            return sinus(stage);
        case ABS:
            return std::abs(x);
    }
    return x;
}

}  // namespace

double evaluateFilterChain(FilterSys& head, double x, double valueScale, double lowPassScale,
                           double highPassScale) {
    if (!head.valid.load()) return 0.0;
    const Scales scales{valueScale, lowPassScale, highPassScale};

    // Innermost first, the reading order of nested calls. Only the current stage is held, and only
    // while its operator runs; an outer stage that a replacement has already released ends the walk.
    std::shared_ptr<FilterSys> stage = innermostStage(head);
    while (stage) {
        x = applyOperator(*stage, x, scales);
        std::shared_ptr<FilterSys> next;
        {
            std::lock_guard lock(stage->linkMutex);
            next = stage->outer.lock();
        }
        stage = std::move(next);
    }
    // The engine scales and mixes the result; a NaN or infinity must not reach the rig.
    return std::isfinite(x) ? x : 0.0;
}

}  // namespace tarvelmond
