#include "motion/transition.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

#include "engine/motion_engine.h"
#include "motion/cue_computation.h"

namespace tarvelmond {
namespace {

constexpr int kAirState = 0;
constexpr int kGroundState = 1;
// The loop's period: the fade takes outputFadeMs / kFadeStepMs worked ticks.
constexpr double kFadeStepMs = 2.0;

void clearStage(CueArray& stage) {
    for (double& value : stage)
        publish(value, 0.0);
}

void finishTransition(MotionEngine& engine, int state) {
    engine.inTransition = false;
    if (state == kAirState) {
        engine.airWeight.store(1.0);
        engine.groundWeight.store(0.0);
        clearStage(engine.groundStage);
    } else if (state == kGroundState) {
        engine.airWeight.store(0.0);
        engine.groundWeight.store(1.0);
        clearStage(engine.airStage);
    } else {
        engine.airWeight.store(0.0);
        engine.groundWeight.store(1.0);
        clearStage(engine.groundStage);
    }
}

double truncatedPercent(double fraction) {
    return static_cast<double>(static_cast<std::int32_t>(fraction * 100.0));
}

}  // namespace

void stepProfileTransition(MotionEngine& engine) {
    const int state = engine.gameSource.groundState();
    if (state != engine.activeProfile.load()) {
        if (!engine.inTransition) {
            engine.inTransition = true;
            // A transition always starts from the full weight of the profile that was in use.
            const bool fromAir = engine.activeProfile.load() == kAirState;
            engine.airWeight.store(fromAir ? 1.0 : 0.0);
            engine.groundWeight.store(fromAir ? 0.0 : 1.0);
        }
        engine.activeProfile.store(state);
    }

    computeMotionCues(engine);

    if (!engine.inTransition) return;
    if (state == kAirState) {
        const double air = 0.01 + engine.airWeight.load();
        engine.airWeight.store(air);
        engine.groundWeight.store(1.0 - air);
    } else if (state == kGroundState) {
        const double ground = 0.01 + engine.groundWeight.load();
        engine.groundWeight.store(ground);
        engine.airWeight.store(1.0 - ground);
    }
    if (engine.airWeight.load() > 1.0 || engine.groundWeight.load() > 1.0) finishTransition(engine, state);
}

void holdOutput(MotionEngine& engine) {
    engine.holdRequested.store(false);
    for (MotionProfile& profile : engine.profiles)
        profile.takeRequestedActive();
    engine.outputFade.store(0.0);
    for (std::size_t i = 0; i < engine.heldCues.size(); ++i) {
        publish(engine.heldCues[i], observe(engine.finalCues[i]));
    }
}

void requestHold(MotionEngine& engine) {
    // Under the thread's start and stop lock, so that no thread can come or go in between.
    std::lock_guard lock(engine.threadControl);
    if (engine.gameSourceThread.joinable()) {
        engine.holdRequested.store(true);
    } else {
        holdOutput(engine);
    }
}

void takeRequestedHold(MotionEngine& engine) {
    if (engine.holdRequested.load()) holdOutput(engine);
}

void fadeOutput(MotionEngine& engine) {
    const double fade = engine.outputFade.load();
    if (fade >= 1.0) return;
    for (std::size_t i = 0; i < engine.finalCues.size(); ++i) {
        const double held = observe(engine.heldCues[i]);
        publish(engine.finalCues[i], (engine.finalCues[i] - held) * fade + held);
    }
    // Every worked tick counts as one period, however long it took: after a search, a time not ready or
    // a stall the last interval is the whole pause, and measuring by it would end the fade at once.
    engine.outputFade.store(std::min(kFadeStepMs / engine.outputFadeMs + fade, 1.0));
}

double outputFadePercent(const MotionEngine& engine) {
    if (engine.holdRequested.load()) return 0.0;  // the hold is as good as done
    return std::min(truncatedPercent(engine.outputFade.load()), 100.0);
}

double airWeightPercent(const MotionEngine& engine) {
    return std::clamp(truncatedPercent(engine.airWeight.load()), 0.0, 100.0);
}

double groundWeightPercent(const MotionEngine& engine) {
    return std::clamp(truncatedPercent(engine.groundWeight.load()), 0.0, 100.0);
}

}  // namespace tarvelmond
