// The air/ground cross-fade, the output fade and the frozen-data count, driven tick by tick.
#include <gtest/gtest.h>

#include <limits>

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
        e->outputFade.store(1.0);  // installing chains held the output; let it run live
    }
    void ticks(int n) {
        for (int t = 0; t < n; ++t)
            e.tick();
    }
    double air() const { return e.engine->airWeight.load(); }
    double ground() const { return e.engine->groundWeight.load(); }

    EngineUnderTest e;
};

TEST_F(Transition, LandingCrossFadesInOneHundredTicksAndATakeOffHalfwayTurnsBackWithoutAJump) {
    e.setGround(true);
    ticks(30);
    EXPECT_NEAR(air(), 0.70, 1e-9);
    e.setGround(false);
    e.tick();
    EXPECT_NEAR(e->airStage[8], 7.0, 1e-9) << "computed with the weight of 0.70 before the step";
    EXPECT_NEAR(air(), 0.71, 1e-9);
    EXPECT_NEAR(ground(), 0.29, 1e-9);
    EXPECT_EQ(e->activeProfile.load(), 0);
    ticks(29);
    EXPECT_FALSE(e->inTransition);
    EXPECT_EQ(air(), 1.0);
    EXPECT_EQ(e->groundStage, CueArray{}) << "the stage left behind is cleared";

    e.setGround(true);
    e.tick();
    EXPECT_DOUBLE_EQ(e->airStage[8], 10.0) << "the first tick still computes with the full air weight";
    EXPECT_NEAR(ground(), 0.01, 1e-12);
    ticks(98);
    EXPECT_TRUE(e->inTransition);
    EXPECT_NEAR(ground(), 0.99, 1e-9);
    e.tick();
    EXPECT_FALSE(e->inTransition);
    EXPECT_EQ(ground(), 1.0);
    EXPECT_EQ(e->airStage, CueArray{});
    e.tick();
    EXPECT_DOUBLE_EQ(e->finalCues[8], 20.0);
}

TEST_F(Transition, OutputFadesFromTheHeldCuesOverFourSecondsOfLoopTime) {
    e.tick();
    ASSERT_DOUBLE_EQ(e->finalCues[8], 10.0);
    e.setChannel(Channel::roll_position, 30.0);
    holdOutput(*e);
    EXPECT_EQ(outputFadePercent(*e), 0.0);
    EXPECT_DOUBLE_EQ(e->heldCues[8], 10.0);
    e.tick();  // factor 0: still the held value
    EXPECT_DOUBLE_EQ(e->finalCues[8], 10.0);
    e.tick();  // factor 2 ms / 4000 ms
    EXPECT_NEAR(e->finalCues[8], 10.0 + 20.0 * 0.0005, 1e-9);
    ticks(1000);
    EXPECT_NEAR(e->finalCues[8], 10.0 + 20.0 * 0.0005 * 1001, 1e-6);
    EXPECT_EQ(outputFadePercent(*e), 50.0);
    // A second hold re-holds the blended values.
    const double blended = e->finalCues[8];
    holdOutput(*e);
    EXPECT_DOUBLE_EQ(e->heldCues[8], blended);
    e.tick();
    EXPECT_DOUBLE_EQ(e->finalCues[8], blended);
    ticks(2001);
    EXPECT_DOUBLE_EQ(e->finalCues[8], 30.0);
    EXPECT_EQ(outputFadePercent(*e), 100.0);
}

TEST_F(Transition, StatusGettersTruncateTowardZeroWithinZeroToOneHundred) {
    const struct {
        double air, ground, fade;
        double airPercent, groundPercent, fadePercent;
    } cases[] = {{0.5, -0.005, 0.4567, 50, 0, 45}, {0.9999999, 1.01, 1.0, 99, 100, 100}};
    for (const auto& c : cases) {
        e->airWeight.store(c.air);
        e->groundWeight.store(c.ground);
        e->outputFade.store(c.fade);
        EXPECT_EQ(airWeightPercent(*e), c.airPercent);
        EXPECT_EQ(groundWeightPercent(*e), c.groundPercent);
        EXPECT_EQ(outputFadePercent(*e), c.fadePercent);
    }
}

TEST_F(Transition, FrozenDataIsCountedAndAnyChangeResetsTheCount) {
    ticks(5);
    EXPECT_EQ(e->staleCount, 4) << "the first tick compares against the zeroed copy";
    e.setChannel(Channel::yaw_speed, 0.5);
    e.tick();
    EXPECT_EQ(e->staleCount, 0);
    e->gameSource.record.gameData[3] = std::numeric_limits<double>::quiet_NaN();
    ticks(2);
    EXPECT_EQ(e->staleCount, 0) << "a NaN never equals its copy";
}

}  // namespace
}  // namespace tarvelmond::test
