#include "engine/motion_tick.h"

#include "engine/motion_engine.h"
#include "engine/snapshot_history.h"
#include "motion/output_stage.h"
#include "motion/transition.h"

namespace tarvelmond {
namespace {

// The data stands still when all 23 leading slots equal the previous frame's (a NaN never does).
void countFrozenData(MotionEngine& engine) {
    const auto& data = engine.gameSource.record.gameData;
    bool allEqual = true;
    for (std::size_t i = 0; i < engine.previousGameData.size(); ++i) {
        if (data[i] != engine.previousGameData[i]) allEqual = false;
        publish(engine.previousGameData[i], data[i]);
    }
    engine.staleCount = allEqual ? engine.staleCount + 1 : 0;
}

}  // namespace

void runMotionTick(MotionEngine& engine) {
    // Before the cues are computed the final cues are still the output last sent: what a hold keeps.
    takeRequestedHold(engine);
    stepProfileTransition(engine);
    countFrozenData(engine);
    fadeOutput(engine);
    recordSnapshots(engine);
    if (!engine.outputBlocked.load()) sendOutputFrame(engine);
}

}  // namespace tarvelmond
