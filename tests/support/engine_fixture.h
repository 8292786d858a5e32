#pragma once
#include <memory>

#include "engine/motion_engine.h"
#include "games/telemetry_record.h"

namespace tarvelmond::test {

// A private engine (not the process-wide one) with a game slot active, for driving the motion
// pipeline tick by tick.
struct EngineUnderTest {
    EngineUnderTest();

    MotionEngine& operator*() { return *engine; }
    MotionEngine* operator->() { return engine.get(); }

    void setChannel(Channel channel, double value) { engine->gameSource.record.set(channel, value); }
    void install(int profile, int dof, const char* filter);  // fails the test if the string is invalid
    void setInputLimit(int dof, double min, double max);
    void setGround(bool onGround);
    // One worked tick of 2 ms loop time, as the game-source thread runs it.
    void tick();
    // The output step alone: the frame to the engine's sink (the process's link), pose and wind.
    void sendOutput();

    std::unique_ptr<MotionEngine> engine;
    std::int64_t counter = 0;
};

}  // namespace tarvelmond::test
