// The output stage's exports: the last frame and the motion-cancel controls.
#include <tarvelmond.h>

#include <atomic>
#include <cmath>

#include "engine/motion_engine.h"
#include "motion/output_stage.h"

using namespace tarvelmond;

extern "C" {

void getOutputData(uint8_t* out) {
    MotionEngine& e = engine();
    if (out == nullptr) return;
    for (std::size_t i = 0; i < e.outputFrame.size(); ++i)
        out[i] = std::atomic_ref<std::uint8_t>(e.outputFrame[i]).load(std::memory_order_relaxed);
}

void activateMotionCancel(bool enable) {
    MotionEngine& e = engine();
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
    MotionEngine& e = engine();
    if (e.motionCancelActive.load()) e.poseFilter.store(filter);
}

void setGainMotionCancel(double gain) {
    MotionEngine& e = engine();
    // A gain that is not a number or infinite would poison the pose for good: it is refused.
    if (e.motionCancelActive.load() && std::isfinite(gain)) e.poseGain.store(gain);
}

}  // extern "C"
