// The output stage's exports: the last frame and the motion-cancel controls.
#include <tarvelmond.h>

#include <atomic>
#include <cmath>

#include "engine/motion_engine.h"
#include "motion/output_stage.h"

using namespace tarvelmond;

extern "C" {

void getOutputData(uint8_t* out) {
    OutputStage& output = engine().output;
    if (out == nullptr) return;
    for (std::size_t i = 0; i < output.outputFrame.size(); ++i)
        out[i] = std::atomic_ref<std::uint8_t>(output.outputFrame[i]).load(std::memory_order_relaxed);
}

void activateMotionCancel(bool enable) {
    OutputStage& e = engine().output;
    if (enable) {
        e.motionCancelActive.exchange(true);
        openPoseBlock(e);
        e.poseFilter.store(60.0);
    } else {
        e.motionCancelActive.exchange(false);
        e.poseBlock.close();  // safe while the game-source thread writes the pose
    }
}

void setFilterMotionCancel(double filter) {
    OutputStage& e = engine().output;
    if (e.motionCancelActive.load()) e.poseFilter.store(filter);
}

void setGainMotionCancel(double gain) {
    OutputStage& e = engine().output;
    // A gain that is not a number or infinite would poison the pose for good: it is refused.
    if (e.motionCancelActive.load() && std::isfinite(gain)) e.poseGain.store(gain);
}

}  // extern "C"
