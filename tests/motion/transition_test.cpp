// The air/ground cross-fade and the output fade, driven tick by tick.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/engine_settings.h"
#include "motion/cue_computation.h"
#include "motion/transition.h"
#include "support/engine_fixture.h"

namespace tarvelmond::test {
namespace {

class Transition : public ::testing::Test {
  protected:
    void SetUp() override {
        e.install(0, 8, "VALUE");
        e.install(1, 8, "GAIN(VALUE;2)");
        e.setChannel(Channel::roll_position, 10.0);
        e->fade.progress.store(1.0);  // installing chains held the output; let it run live
    }
    void ticks(int n) {
        for (int t = 0; t < n; ++t)
            e.tick();
    }
    double air() const { return e.engine->cues.airWeight.load(); }
    double ground() const { return e.engine->cues.groundWeight.load(); }

    EngineUnderTest e;
};

TEST_F(Transition, LandingCrossFadesInOneHundredTicksAndATakeOffHalfwayTurnsBackWithoutAJump) {
    e.setGround(true);
    ticks(30);
    EXPECT_NEAR(air(), 0.70, 1e-9);
    e.setGround(false);
    e.tick();
    EXPECT_NEAR(e->cues.airStage[8], 7.0, 1e-9) << "computed with the weight of 0.70 before the step";
    EXPECT_NEAR(air(), 0.71, 1e-9);
    EXPECT_NEAR(ground(), 0.29, 1e-9);
    EXPECT_EQ(e->cues.activeProfile.load(), 0);
    ticks(29);
    EXPECT_FALSE(e->cues.inTransition);
    EXPECT_EQ(air(), 1.0);
    EXPECT_EQ(e->cues.groundStage, CueArray{}) << "the stage left behind is cleared";

    e.setGround(true);
    e.tick();
    EXPECT_DOUBLE_EQ(e->cues.airStage[8], 10.0) << "the first tick still computes with the full air weight";
    EXPECT_NEAR(ground(), 0.01, 1e-12);
    ticks(98);
    EXPECT_TRUE(e->cues.inTransition);
    EXPECT_NEAR(ground(), 0.99, 1e-9);
    e.tick();
    EXPECT_FALSE(e->cues.inTransition);
    EXPECT_EQ(ground(), 1.0);
    EXPECT_EQ(e->cues.airStage, CueArray{});
    e.tick();
    EXPECT_DOUBLE_EQ(e->cues.finalCues[8], 20.0);
}

TEST_F(Transition, OutputFadesFromTheHeldCuesOverFourSecondsOfLoopTime) {
    e.tick();
    ASSERT_DOUBLE_EQ(e->cues.finalCues[8], 10.0);
    e.setChannel(Channel::roll_position, 30.0);
    holdOutput(e->fade, e->cues);
    EXPECT_EQ(outputFadePercent(e->fade), 0.0);
    EXPECT_DOUBLE_EQ(e->fade.heldCues[8], 10.0);
    e.tick();  // factor 0: still the held value
    EXPECT_DOUBLE_EQ(e->cues.finalCues[8], 10.0);
    e.tick();  // factor 2 ms / 4000 ms
    EXPECT_NEAR(e->cues.finalCues[8], 10.0 + 20.0 * 0.0005, 1e-9);
    ticks(1000);
    EXPECT_EQ(outputFadePercent(e->fade), 50.0);
    // A second hold re-holds the blended values.
    const double blended = e->cues.finalCues[8];
    holdOutput(e->fade, e->cues);
    EXPECT_DOUBLE_EQ(e->fade.heldCues[8], blended);
    e.tick();
    EXPECT_DOUBLE_EQ(e->cues.finalCues[8], blended);
    ticks(2001);
    EXPECT_DOUBLE_EQ(e->cues.finalCues[8], 30.0);
    EXPECT_EQ(outputFadePercent(e->fade), 100.0);
}

TEST_F(Transition, AStallOrPauseAdvancesTheFadeNoFurtherThanANormalTick) {
    holdOutput(e->fade, e->cues);
    e.tick();
    const double oneTick = e->fade.progress.load();
    ASSERT_GT(oneTick, 0.0);
    for (const double pauseMs : {3.0, 250.0, 6000.0, 3.6e6}) {
        const double before = e->fade.progress.load();
        e.counter += static_cast<std::int64_t>(e->loopTimer.ticksPerMs * pauseMs);
        e.tick();
        EXPECT_NEAR(e->fade.progress.load() - before, oneTick, 1e-12) << pauseMs << " ms";
    }
}

// A host switches an axis off while a tick is between taking holds and computing the cues: that tick
// must still compute with the axis on, and the next one takes the hold and fades into the change. A
// tick computing with the change unheld would send the rig from 10 to 0 in one step.
TEST_F(Transition, AnAxisSwitchedOffMidTickReachesTheCuesOnlyWithTheHoldThatFadesIntoIt) {
    e.tick();
    ASSERT_DOUBLE_EQ(e->cues.finalCues[8], 10.0);
    std::atomic<bool> release{false};
    e->gameSourceThread = std::thread([&] {  // holds are now the running thread's to take
        while (!release.load())
            std::this_thread::yield();
    });

    applyActiveAxis(*e, 0, 8, false);                  // lands after this tick's hold was taken...
    computeMotionCues(e->gameSource.record, e->cues);  // ...and before its cues are computed
    fadeOutput(e->fade, e->cues.finalCues);
    EXPECT_DOUBLE_EQ(e->cues.finalCues[8], 10.0) << "no jump in the tick the change landed in";
    e.tick();
    EXPECT_DOUBLE_EQ(e->cues.finalCues[8], 10.0) << "the hold keeps what was sent";
    e.tick();
    EXPECT_NEAR(e->cues.finalCues[8], 10.0 * (1.0 - 0.0005), 1e-9) << "and the fade moves it towards 0";

    release.store(true);
    e->gameSourceThread.join();
}

TEST_F(Transition, StatusGettersTruncateTowardZeroWithinZeroToOneHundred) {
    // {weight or fade, percent}, the same rule for all three.
    for (const auto& [value, percent] :
         {std::pair{0.5, 50.0}, {-0.005, 0.0}, {0.4567, 45.0}, {0.9999999, 99.0}, {1.01, 100.0}}) {
        e->cues.airWeight.store(value);
        e->cues.groundWeight.store(value);
        e->fade.progress.store(value);
        EXPECT_EQ(airWeightPercent(e->cues), percent) << value;
        EXPECT_EQ(groundWeightPercent(e->cues), percent) << value;
        EXPECT_EQ(outputFadePercent(e->fade), percent) << value;
    }
}

}  // namespace
}  // namespace tarvelmond::test
