#pragma once
#include <atomic>

#include "motion/cue_stage.h"

namespace tarvelmond {

// The output fade: after a hold the final cues ramp from the held copy back to the live values over
// lengthMs of worked ticks.
struct OutputFade {
    CueArray heldCues{};
    std::atomic<double> progress{1.0};  // 0 at a hold, 1 once the output follows the cues again
    double lengthMs = 4000.0;
    // A host asked for a hold that the game-source thread has not carried out yet.
    std::atomic<bool> holdRequested{false};
};

}  // namespace tarvelmond
