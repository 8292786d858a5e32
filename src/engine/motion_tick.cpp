#include "engine/motion_tick.h"

#include "basics/host_shared.h"
#include "engine/motion_engine.h"
#include "motion/cue_computation.h"
#include "motion/output_stage.h"
#include "motion/transition.h"

namespace tarvelmond {
namespace {

// The data stands still when all 23 leading slots equal the previous frame's (a NaN never does).
void countFrozenData(const TelemetryRecord& record, CueArray& previous, std::int32_t& staleCount) {
    const auto& data = record.gameData;
    bool allEqual = true;
    for (std::size_t i = 0; i < previous.size(); ++i) {
        if (data[i] != previous[i]) allEqual = false;
        publish(previous[i], data[i]);
    }
    staleCount = allEqual ? staleCount + 1 : 0;
}

}  // namespace

void runMotionTick(MotionEngine& engine) {
    TelemetryRecord& record = engine.gameSource.record;
    CueStage& cues = engine.cues;
    // Before the cues are computed the final cues are still the output last sent: what a hold keeps.
    takeRequestedHold(engine.fade, cues);
    const int groundState = engine.gameSource.groundState();
    followGroundState(cues, groundState);
    computeMotionCues(record, cues);
    stepTransitionWeights(cues, groundState);
    countFrozenData(record, engine.previousGameData, engine.staleCount);
    fadeOutput(engine.fade, cues.finalCues);
    recordSnapshots(engine);
    if (!engine.outputBlocked.load()) {
        const bool windActive = cues.profiles[kAirProfile].getActivedof(kWindChannel);
        sendOutputFrame(engine.output, cues.finalCues, windActive, engine.frameSink);
    }
}

}  // namespace tarvelmond
