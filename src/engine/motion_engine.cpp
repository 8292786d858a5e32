#include "engine/motion_engine.h"

#include <exception>

#include "engine/game_source_thread.h"

namespace tarvelmond {

MotionEngine::MotionEngine() = default;

MotionEngine::~MotionEngine() {
    try {
        stopGameSourceThread(*this);
    } catch (...) {
    }
    if (gameSourceThread.joinable()) std::terminate();
}

MotionProfile* MotionEngine::hostProfile(int index) {
    return index == kAirProfile || index == kGroundProfile ? &profiles[static_cast<std::size_t>(index)]
                                                           : nullptr;
}

}  // namespace tarvelmond
