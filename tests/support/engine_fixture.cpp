#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include "engine/chain_replacement.h"
#include "engine/motion_tick.h"
#include "motion/output_stage.h"
#include "serial/link_state.h"

namespace tarvelmond::test {

EngineUnderTest::EngineUnderTest() : engine(std::make_unique<MotionEngine>()) {
    engine->gameSource.active[kXplane].store(true);
    engine->loopTimer.tickAt(0);
    engine->frameSink = &link();
}

void EngineUnderTest::install(int profile, int dof, const char* filter) {
    ASSERT_EQ(replaceFilterChain(*engine, profile, dof, filter), 1) << filter;
}

void EngineUnderTest::setInputLimit(int dof, double min, double max) {
    engine->cues.inputLimits[static_cast<std::size_t>(dof)].min.store(min);
    engine->cues.inputLimits[static_cast<std::size_t>(dof)].max.store(max);
}

void EngineUnderTest::setGround(bool onGround) {
    engine->gameSource.onGround[kXplane] = onGround ? 1U : 0U;
}

void EngineUnderTest::tick() {
    counter += static_cast<std::int64_t>(engine->loopTimer.ticksPerMs * 2.0);
    engine->loopTimer.tickAt(counter);
    runMotionTick(*engine);
}

void EngineUnderTest::sendOutput() {
    const bool windActive = engine->cues.profiles[kAirProfile].getActivedof(kWindChannel);
    sendOutputFrame(engine->output, engine->cues.finalCues, windActive, engine->frameSink);
}

}  // namespace tarvelmond::test
