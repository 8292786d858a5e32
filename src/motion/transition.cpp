#include "motion/transition.h"

#include <algorithm>
#include <cstdint>

#include "basics/host_shared.h"

namespace tarvelmond {
namespace {

constexpr int kAirState = 0;
constexpr int kGroundState = 1;
// The loop's period: the fade takes lengthMs / kFadeStepMs worked ticks.
constexpr double kFadeStepMs = 2.0;

void clearStage(CueArray& stage) {
    for (double& value : stage)
        publish(value, 0.0);
}

void finishTransition(CueStage& cues, int state) {
    cues.inTransition = false;
    if (state == kAirState) {
        cues.airWeight.store(1.0);
        cues.groundWeight.store(0.0);
        clearStage(cues.groundStage);
    } else if (state == kGroundState) {
        cues.airWeight.store(0.0);
        cues.groundWeight.store(1.0);
        clearStage(cues.airStage);
    } else {
        cues.airWeight.store(0.0);
        cues.groundWeight.store(1.0);
        clearStage(cues.groundStage);
    }
}

double truncatedPercent(double fraction) {
    return static_cast<double>(static_cast<std::int32_t>(fraction * 100.0));
}

}  // namespace

void followGroundState(CueStage& cues, int groundState) {
    if (groundState == cues.activeProfile.load()) return;
    if (!cues.inTransition) {
        cues.inTransition = true;
        // A transition always starts from the full weight of the profile that was in use.
        const bool fromAir = cues.activeProfile.load() == kAirState;
        cues.airWeight.store(fromAir ? 1.0 : 0.0);
        cues.groundWeight.store(fromAir ? 0.0 : 1.0);
    }
    cues.activeProfile.store(groundState);
}

void stepTransitionWeights(CueStage& cues, int groundState) {
    if (!cues.inTransition) return;
    if (groundState == kAirState) {
        const double air = 0.01 + cues.airWeight.load();
        cues.airWeight.store(air);
        cues.groundWeight.store(1.0 - air);
    } else if (groundState == kGroundState) {
        const double ground = 0.01 + cues.groundWeight.load();
        cues.groundWeight.store(ground);
        cues.airWeight.store(1.0 - ground);
    }
    if (cues.airWeight.load() > 1.0 || cues.groundWeight.load() > 1.0) finishTransition(cues, groundState);
}

void holdOutput(OutputFade& fade, CueStage& cues) {
    fade.holdRequested.store(false);
    for (MotionProfile& profile : cues.profiles)
        profile.takeRequestedActive();
    fade.progress.store(0.0);
    for (std::size_t i = 0; i < fade.heldCues.size(); ++i) {
        publish(fade.heldCues[i], observe(cues.finalCues[i]));
    }
}

void takeRequestedHold(OutputFade& fade, CueStage& cues) {
    if (fade.holdRequested.load()) holdOutput(fade, cues);
}

void fadeOutput(OutputFade& fade, CueArray& finalCues) {
    const double progress = fade.progress.load();
    if (progress >= 1.0) return;
    for (std::size_t i = 0; i < finalCues.size(); ++i) {
        const double held = observe(fade.heldCues[i]);
        publish(finalCues[i], (finalCues[i] - held) * progress + held);
    }
    // Every worked tick counts as one period, however long it took: after a search, a time not ready or
    // a stall the last interval is the whole pause, and measuring by it would end the fade at once.
    fade.progress.store(std::min(kFadeStepMs / fade.lengthMs + progress, 1.0));
}

double outputFadePercent(const OutputFade& fade) {
    if (fade.holdRequested.load()) return 0.0;  // the hold is as good as done
    return std::min(truncatedPercent(fade.progress.load()), 100.0);
}

double airWeightPercent(const CueStage& cues) {
    return std::clamp(truncatedPercent(cues.airWeight.load()), 0.0, 100.0);
}

double groundWeightPercent(const CueStage& cues) {
    return std::clamp(truncatedPercent(cues.groundWeight.load()), 0.0, 100.0);
}

}  // namespace tarvelmond
