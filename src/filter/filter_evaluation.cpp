#include <algorithm>
#include <cmath>

#include "filter/filter_chain.h"

namespace tarvelmond {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTickSeconds = 0.002;  // every evaluation stands for one 2 ms tick

// A length below one tick would overshoot the sample; it counts as one tick (pass-through).
double emaLength(float length) {
    const double n = length;
    return std::abs(n) < 1.0 ? 1.0 : n;
}

// A non-finite sample would stay in the state for ever (it never decays), so it is refused and the state
// keeps its value; the same holds for a finite sample too large for the single-precision state. Both
// show as a non-finite new state.
bool advanceEma(float& state, double x, double n) {
    const float next = static_cast<float>((x - state) / n + state);
    if (!std::isfinite(next)) {
        return false;
    }
    state = next;
    return true;
}

double lowPass(FilterSys& stage, double x) {
    advanceEma(stage.state, x, emaLength(stage.p1));
    return stage.state;
}

double highPass(FilterSys& stage, double x) {
    return advanceEma(stage.state, x, emaLength(stage.p1)) ? x - stage.state : 0.0;
}

// Mathematically a * tanh(slope * x / a). It is kept in this logistic form rather than calling std::tanh
// so that the curve, and the clamp of its argument, come out bit for bit as filter strings were tuned to.
double logistic(double x, double limit, double slope) {
    const double a = std::abs(limit) < 1e-9 ? std::copysign(1e-9, limit) : limit;
    const double k = 0.0002 / ((a / 100.0) * (a / 100.0));
    const double t = std::clamp(slope * x, -1e6, 1e6);
    const double e = std::exp(t * (-k * a));
    const double r = a / (e * (a / (a * 0.5) - 1.0) + 1.0) - a * 0.5;
    return r + r;
}

// Folds x back and forth into [-limit, limit] as if reflecting it at the nearer edge until it lies inside.
// Doing that one reflection at a time ends only for a positive limit and a finite x, and takes about
// |x| / (2 limit) steps, which is unbounded (1e300 with limit 1 even oscillates for ever, as
// 1e300 - 1 == 1e300). So:
// - a non-finite x folds to 0, and a limit of 0 (a band of width 0) gives 0;
// - a negative limit describes the same band as its absolute value;
// - the whole periods of 4 * limit that the reflections would walk off are removed at once with fmod.
// That gives the very bits of the step-by-step fold: the limit is a float, and its 24-bit significand
// makes it a multiple of x's ulp whenever |x| < 2^29 limit, so every reflection there is exact; fmod is
// exact anyway, and both arrive at the exact fold. Only beyond that, past a quarter of a billion steps,
// would the stepwise rounding make a difference.
double rollover(double x, double limitArgument) {
    if (!std::isfinite(x)) {
        return 0.0;
    }
    const double limit = std::abs(limitArgument);
    if (limit == 0.0) {
        return 0.0;
    }

    const auto outside = [limit](double v) { return v > limit || v < -limit; };
    // Where 4 * limit overflows, no finite x needs the reduction.
    if (std::abs(x) >= 4.0 * limit) {
        x = std::fmod(x, 4.0 * limit);
    }
    // From within (-4 limit, 4 limit) at most two exact reflections reach the band.
    for (int step = 0; step < 3 && outside(x); ++step) {
        x = x > 0.0 ? limit - (x - limit) : -limit - (limit + x);
    }
    return x;
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
    if (std::isfinite(phase)) {
        stage.state = phase;
    }
    const float sine = std::sin(stage.state);  // the float overload: the sine is single precision
    return sine * static_cast<double>(stage.p1);
}

double bitScale(double x, double inMax, double outMax) {
    if (std::abs(inMax) < 1e-9 || x < 0.0) {
        return 0.0;
    }
    return std::min(inMax, x) / inMax * outMax;
}

double bitScaleSigned(double x, double inMax, double outMax) {
    if (std::abs(inMax) < 1e-9) {
        return 0.0;
    }
    return std::min(inMax, std::max(-inMax, x)) / inMax * outMax;
}

double remap(double x, double inLow, double inHigh, double outLow, double outHigh) {
    if (!(std::abs(inHigh - inLow) > 1e-9)) {
        return x;
    }
    return (x - inLow) * ((outHigh - outLow) / (inHigh - inLow)) + outLow;
}

double applyOperator(FilterSys& stage, double x) {
    const double p1 = stage.p1;
    const double p2 = stage.p2;
    switch (stage.kind) {
        case VALUE:
            return x;
        case EMALP:
            return lowPass(stage, x);
        case EMAHP:
            return highPass(stage, x);
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

double evaluateFilterChain(FilterChain& chain, double x) {
    if (!chain.valid) {
        return 0.0;
    }
    // Innermost first, the reading order of nested calls.
    for (auto stage = chain.stages.rbegin(); stage != chain.stages.rend(); ++stage)
        x = applyOperator(*stage, x);
    // The engine scales and mixes the result; a NaN or infinity must not reach the rig.
    return std::isfinite(x) ? x : 0.0;
}

}  // namespace tarvelmond
