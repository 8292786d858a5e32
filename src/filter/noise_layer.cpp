#include "filter/filter_chain.h"

namespace tarvelmond {

namespace {
// Each evaluation stands for one 2 ms tick, so a period is in milliseconds.
constexpr float kPhaseStep = 2.0f;
}  // namespace

NoiseLayer::NoiseLayer(float amplitudeArg, float periodArg, std::uint32_t seed)
    : amplitude(amplitudeArg), period(periodArg), generator(seed) {
    to = draw();
}

float NoiseLayer::draw() {
    // Kept in single precision throughout so that a seed yields the same targets on every platform.
    const float unit = static_cast<float>(generator()) * 0x1p-32f;
    return low + (high - low) * unit;
}

float NoiseLayer::advance() {
    // A period of one step or less (zero and negative ones included) could never bring the phase back
    // below it: the phase would grow without bound and a zero period would divide by zero. Such a period
    // acts as one step, a fresh target on every evaluation, which is exactly what a period of 2 gives,
    // so the generator is drawn in the same sequence. The negated test also maps a NaN period to 2.
    const float span = period > kPhaseStep ? period : kPhaseStep;
    phase += kPhaseStep;
    if (phase >= span) {
        phase -= span;
        from = to;
        to = draw();
    }
    const float f = phase / span;
    return ((1.0f - f) * from + f * to) * amplitude;
}

}  // namespace tarvelmond
