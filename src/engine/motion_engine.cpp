#include "engine/motion_engine.h"

#include <exception>

#include "engine/game_source_thread.h"
#include "motion/transition.h"

namespace tarvelmond {

MotionEngine::~MotionEngine() {
    try {
        stopGameSourceThread(*this);
    } catch (...) {
    }
    if (gameSourceThread.joinable()) std::terminate();
}

void requestHold(MotionEngine& engine) {
    // Under the thread's start and stop lock, so that no thread can come or go in between.
    std::lock_guard lock(engine.threadControl);
    if (engine.gameSourceThread.joinable()) {
        engine.fade.holdRequested.store(true);
    } else {
        holdOutput(engine.fade, engine.cues);
    }
}

}  // namespace tarvelmond
