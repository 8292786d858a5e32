#include "engine/motion_engine.h"

namespace tarvelmond {

MotionEngine::MotionEngine() = default;

MotionProfile* MotionEngine::hostProfile(int index) {
    return index == kAirProfile || index == kGroundProfile ? &profiles[static_cast<std::size_t>(index)]
                                                           : nullptr;
}

MotionEngine& engine() {
    static MotionEngine instance;
    return instance;
}

}  // namespace tarvelmond
