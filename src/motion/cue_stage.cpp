#include "motion/cue_stage.h"

namespace tarvelmond {

MotionProfile* CueStage::hostProfile(int index) {
    return index == kAirProfile || index == kGroundProfile ? &profiles[static_cast<std::size_t>(index)]
                                                           : nullptr;
}

}  // namespace tarvelmond
