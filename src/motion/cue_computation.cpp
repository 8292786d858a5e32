#include "motion/cue_computation.h"

#include <cmath>

#include "basics/host_shared.h"
#include "games/telemetry_record.h"

namespace tarvelmond {

double evaluateDof(const TelemetryRecord& record, const DofLimits& inputLimits, const MotionProfile& profile,
                   const DofBinding& binding, double scale) {
    if (!profile.getActivedof(binding.channel)) return 0.0;
    FilterChain* chain = profile.chain(binding.channel).current();
    double x = record.gameData[static_cast<std::size_t>(binding.source)];
    if (binding.clamp) {
        if (!chain->valid) return 0.0 * scale;
        const DofLimit& limit = inputLimits[static_cast<std::size_t>(binding.channel)];
        const double min = limit.min.load(std::memory_order_relaxed);
        const double max = limit.max.load(std::memory_order_relaxed);
        x = min > x ? min : std::fmin(max, x);
    }
    const double result = evaluateFilterChain(*chain, x) * scale;
    // A non-finite weight or limit must not reach the output either.
    return std::isfinite(result) ? result : 0.0;
}

namespace {

template <std::size_t N>
void evaluateTable(const TelemetryRecord& record, const DofLimits& inputLimits, const MotionProfile& profile,
                   const std::array<DofBinding, N>& table, double scale, CueArray& stage) {
    for (const DofBinding& binding : table) {
        publish(stage[static_cast<std::size_t>(binding.channel)],
                evaluateDof(record, inputLimits, profile, binding, scale));
    }
}

double beltWeightFor(const MotionProfile& air, int channel) {
    switch (channel) {
        case 11:
            return air.beltMix(1);
        case 12:
            return air.beltMix(2);
        case 13:
            return air.beltMix(4);
        case 14:
            return air.beltMix(5);
        default:
            return 0.0;
    }
}

}  // namespace

void computeMotionCues(TelemetryRecord& record, CueStage& cues) {
    const MotionProfile& air = cues.profiles[kAirProfile];
    const MotionProfile& ground = cues.profiles[kGroundProfile];
    const DofLimits& limits = cues.inputLimits;
    auto& a = cues.airStage;
    auto& g = cues.groundStage;
    auto& f = cues.finalCues;

    cues.evaluationGate.enter();

    double beltSum = 0.0;
    for (const DofBinding& binding : kBeltBindings) {
        const auto channel = static_cast<std::size_t>(binding.channel);
        if (binding.channel == 10) record.set(Channel::belt_sum, beltSum);
        publish(a[channel], evaluateDof(record, limits, air, binding, 1.0));
        beltSum += a[channel] * beltWeightFor(air, binding.channel);
    }
    evaluateTable(record, limits, air, kWindBindings, 1.0, a);
    evaluateTable(record, limits, air, kEffectBindings, 1.0, a);
    evaluateTable(record, limits, air, kMainBindings, cues.airWeight.load(std::memory_order_relaxed), a);
    evaluateTable(record, limits, ground, kMainBindings, cues.groundWeight.load(std::memory_order_relaxed),
                  g);

    cues.evaluationGate.leave();

    for (std::size_t k = 0; k <= 3; ++k)
        publish(f[k], (a[k] + a[15 + k]) + g[k]);
    for (std::size_t k : {6U, 7U, 8U, 9U, 10U, 21U})
        publish(f[k], g[k] + a[k]);
    publish(f[4], (((f[6] + a[4]) + f[8]) + a[19]) + g[4]);
    publish(f[5], (((f[7] + a[5]) + f[9]) + a[20]) + g[5]);
}

}  // namespace tarvelmond
