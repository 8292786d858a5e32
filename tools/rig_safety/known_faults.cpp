#include "known_faults.h"

namespace tarvelmond::rig_safety {

const std::vector<KnownFault>& knownFaults() {
    // Empty while every fault the runner has found is mended. An entry names the fault and what exposes
    // it, e.g. {.name = "...", .exposedBy = {EventKind::HoldStorm}}.
    static const std::vector<KnownFault> faults;
    return faults;
}

namespace {

bool appliesHere([[maybe_unused]] const KnownFault& fault) {
#if defined(_WIN32)
    return !fault.onlyNatively;
#else
    return true;
#endif
}

}  // namespace

test::SafetyTiming excusingKnownFaults(test::SafetyTiming timing) {
    for (const KnownFault& fault : knownFaults())
        timing.excuseFadeAfterPause =
            timing.excuseFadeAfterPause || (appliesHere(fault) && fault.excusesFadeAfterPause);
    return timing;
}

PlanOptions avoidingKnownFaults(PlanOptions options) {
    for (const KnownFault& fault : knownFaults()) {
        if (!appliesHere(fault)) continue;
        for (EventKind kind : fault.exposedBy) {
            if (fault.onlyWith) {
                options.excludedForGame.insert({*fault.onlyWith, kind});
            } else {
                options.excluded.insert(kind);
            }
        }
        options.noWind = options.noWind || fault.needsNoWind;
        options.gameBeforeThread = options.gameBeforeThread || fault.needsGameBeforeThread;
        options.holdsOnlyWhenSettled = options.holdsOnlyWhenSettled || fault.needsHoldsOnlyWhenSettled;
        options.shortStallsOnly = options.shortStallsOnly || fault.needsShortStalls;
        options.shortWindIntervals = options.shortWindIntervals || fault.needsShortWindIntervals;
    }
    return options;
}

}  // namespace tarvelmond::rig_safety
