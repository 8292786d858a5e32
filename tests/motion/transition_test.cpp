// The air/ground cross-fade and the output fade, driven tick by tick.
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
    double air() const { return e.engine->airWeight.load(); }
    double ground() const { return e.engine->groundWeight.load(); }

    EngineUnderTest e;
};

TEST_F(Transition, LandingCrossFadesToTheGroundProfileInOneHundredTicks) {
    e.setGround(true);
    e.tick();
    EXPECT_DOUBLE_EQ(e->airStage[8], 10.0) << "the first tick still computes with the full air weight";
    EXPECT_NEAR(air(), 0.99, 1e-12);
    EXPECT_NEAR(ground(), 0.01, 1e-12);
    EXPECT_EQ(e->activeProfile.load(), 1);
    for (int t = 2; t < 100; ++t)
        e.tick();
    EXPECT_TRUE(e->inTransition);
    EXPECT_NEAR(ground(), 0.99, 1e-9);
    e.tick();
    EXPECT_FALSE(e->inTransition);
    EXPECT_EQ(air(), 0.0);
    EXPECT_EQ(ground(), 1.0);
    for (double value : e->airStage)
        EXPECT_EQ(value, 0.0);
    e.tick();
    EXPECT_DOUBLE_EQ(e->finalCues[8], 20.0);
}

TEST_F(Transition, ATakeOffHalfwayThroughALandingTurnsBackWithoutAJump) {
    e.setGround(true);
    for (int t = 0; t < 30; ++t)
        e.tick();
    EXPECT_NEAR(air(), 0.70, 1e-9);
    e.setGround(false);
    e.tick();
    EXPECT_NEAR(e->airStage[8], 7.0, 1e-9) << "computed with the weight of 0.70 before the step";
    EXPECT_NEAR(air(), 0.71, 1e-9);
    EXPECT_NEAR(ground(), 0.29, 1e-9);
    EXPECT_EQ(e->activeProfile.load(), 0);
    for (int t = 0; t < 29; ++t)
        e.tick();
    EXPECT_FALSE(e->inTransition);
    EXPECT_EQ(air(), 1.0);
    for (double value : e->groundStage)
        EXPECT_EQ(value, 0.0);
}

TEST_F(Transition, ADrivingGameNeverStartsATransition) {
    for (int t = 0; t < 300; ++t)
        e.tick();
    EXPECT_FALSE(e->inTransition);
    EXPECT_EQ(air(), 1.0);
    EXPECT_EQ(e->activeProfile.load(), 0);
}

TEST_F(Transition, StatusGettersTruncateTowardZero) {
    e->airWeight.store(0.5);
    EXPECT_EQ(airWeightPercent(*e), 50.0);
    e->airWeight.store(0.9999999);
    EXPECT_EQ(airWeightPercent(*e), 99.0);
    e->groundWeight.store(-0.005);
    EXPECT_EQ(groundWeightPercent(*e), 0.0);
    e->groundWeight.store(1.01);
    EXPECT_EQ(groundWeightPercent(*e), 100.0);
    e->outputFade.store(0.4567);
    EXPECT_EQ(outputFadePercent(*e), 45.0);
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
    for (int t = 0; t < 1000; ++t)
        e.tick();
    EXPECT_NEAR(e->finalCues[8], 10.0 + 20.0 * 0.0005 * 1001, 1e-6);
    EXPECT_EQ(outputFadePercent(*e), 50.0);
    for (int t = 0; t < 1000; ++t)
        e.tick();
    EXPECT_DOUBLE_EQ(e->finalCues[8], 30.0);
    EXPECT_EQ(outputFadePercent(*e), 100.0);
}

TEST_F(Transition, ASecondHoldReholdsTheBlendedValues) {
    e.tick();
    e.setChannel(Channel::roll_position, 20.0);
    holdOutput(*e);
    e.tick();
    e.tick();
    const double blended = e->finalCues[8];
    EXPECT_GT(blended, 10.0);
    EXPECT_LT(blended, 20.0);
    holdOutput(*e);
    EXPECT_DOUBLE_EQ(e->heldCues[8], blended);
    e.tick();
    EXPECT_DOUBLE_EQ(e->finalCues[8], blended);
}

TEST_F(Transition, FrozenDataIsCountedAndAnyChangeResetsTheCount) {
    for (int t = 0; t < 5; ++t)
        e.tick();
    EXPECT_EQ(e->staleCount, 4) << "the first tick compares against the zeroed copy";
    e.setChannel(Channel::yaw_speed, 0.5);
    e.tick();
    EXPECT_EQ(e->staleCount, 0);
    e->gameSource.record.gameData[3] = std::numeric_limits<double>::quiet_NaN();
    e.tick();
    e.tick();
    EXPECT_EQ(e->staleCount, 0) << "a NaN never equals its copy";
}

}  // namespace
}  // namespace tarvelmond::test
