#include "known_faults.h"

namespace tarvelmond::rig_safety {

using K = EventKind;

const std::vector<KnownFault>& knownFaults() {
    static const std::vector<KnownFault> faults = {
        {.name = "issue 9 #1: the output fade advances by the whole pause before it (a game found after a "
                 "search, "
                 "ready after a while, a restarted thread), so the rig jumps to the live pose",
         .excusesFadeAfterPause = true},
        {.name = "issue 9 #2: a host hold races the tick and can hold the live, unfaded values",
         .exposedBy = {K::HoldStorm},
         .needsHoldsOnlyWhenSettled = true},
        {.name = "issue 9 #3: a stop racing a start revives the game-source thread and joins it for ever; a "
                 "stop just after startKestrovane_Thread is lost",
         .exposedBy = {K::StartStopRace, K::BridgeStartStopRace}},
        {.name = "issue 9 #4: coarse pacing adds a pause to its carry and runs fast afterwards",
         .exposedBy = {K::CoarsePacing}},
        {.name =
             "issue 9 #5: motion frames fill the send queue while no controller takes them (unplugged, not "
             "reading, a bridge still scanning); host messages and the start-up commands are dropped",
         .exposedBy = {K::ControllerUnplugged, K::ControllerStalls, K::BridgeStop, K::BridgeStart}},
        {.name =
             "issue 9 #6: the wind sender stalls the real-time thread: a start blocks on the lock its own "
             "opening holds (a gap of tens of ms whenever the thread starts), a slow device blocks it "
             "longer; "
             "stopping the sender waits a whole interval",
         .exposedBy = {K::WindStalls},
         .needsShortWindIntervals = true,
         .needsNoWind = true},
        {.name = "issue 9 #7: a Linux port that hangs up (USB unplugged) is read for ever",
         .exposedBy = {K::ControllerUnplugged},
         .onlyNatively = true},
        {.name =
             "issue 9 #8: a write that times out part-way counts as whole; the controller gets a cut frame",
         .exposedBy = {K::ControllerHangs}},
        {.name = "issue 9 #9: EA WRC's zero or non-finite direction vectors (loading screens, bad datagrams) "
                 "give "
                 "a pitch of 90 degrees and a rate spike",
         .exposedBy = {K::GarbageDegenerate, K::GarbageNaN, K::GarbageInfinity},
         .onlyWith = Game::Wrc},
    };
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
