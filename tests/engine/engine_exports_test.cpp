// The engine's exported setters and getters, called the way a host calls them.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include "engine/motion_engine.h"

namespace tarvelmond::test {
namespace {

std::pair<double, double> inputLimit(int dof) {
    const auto& limit = engine().inputLimits[static_cast<std::size_t>(dof)];
    return {limit.min.load(), limit.max.load()};
}

TEST(EngineExports, InputLimitsFollowTheirChannelRules) {
    SetInputDofLimitValue(3, -4.5, 4.5);
    EXPECT_EQ(inputLimit(3), std::make_pair(-4.5, 4.5));
    SetInputDofLimitValue(8, -1.0, 1.0);
    EXPECT_EQ(inputLimit(8), std::make_pair(-360.0, 360.0));
    SetInputDofLimitValue(12, -1.0, 1.0);
    EXPECT_EQ(inputLimit(12), std::make_pair(0.0, 0.0));
    SetInputDofLimitValue(-1, -1.0, 1.0);
    SetInputDofLimitValue(23, -1.0, 1.0);
    for (int dof = 10; dof < 23; ++dof)
        EXPECT_EQ(inputLimit(dof), std::make_pair(0.0, 0.0)) << dof;
}

TEST(EngineExports, RigLimitsTakeAnyChannelAndIgnoreOutOfRange) {
    SetRigDofLimitValue(22, -2.0, 3.0);
    EXPECT_EQ(engine().rigLimits[22].max.load(), 3.0);
    SetRigDofLimitValue(-5, 1.0, 1.0);
    SetRigDofLimitValue(23, 1.0, 1.0);
}

TEST(EngineExports, SetActiveAxisAlwaysRestartsTheFade) {
    engine().outputFade.store(1.0);
    setActiveAxis(5, 0, false);
    EXPECT_EQ(getTransitionStatus(), 0.0);
    for (int dof = 0; dof < 23; ++dof)
        EXPECT_TRUE(engine().profiles[0].getActivedof(dof));

    setActiveAxis(1, 4, false);
    EXPECT_FALSE(engine().profiles[1].getActivedof(4));
    EXPECT_TRUE(engine().profiles[0].getActivedof(4));
    setActiveAxis(1, 4, true);
    EXPECT_THROW(engine().profiles[0].getActivedof(23), std::out_of_range);
}

TEST(EngineExports, BeltMixStoresOnlyInRange) {
    setBelt_Mix(0, 42, 0.75);
    EXPECT_EQ(engine().profiles[0].beltMix(42), 0.75);
    setBelt_Mix(2, 1, 9.0);
    setBelt_Mix(0, 43, 9.0);
    setBelt_Mix(0, -1, 9.0);
    for (int i = 0; i < 42; ++i)
        EXPECT_EQ(engine().profiles[0].beltMix(i), 0.0) << i;
}

TEST(EngineExports, FilterStringsBlockAndReleaseTheOutput) {
    EXPECT_EQ(setcheckFilterstring(2, 0, "VALUE"), 0);
    EXPECT_TRUE(engine().outputBlocked.load());
    EXPECT_EQ(setcheckFilterstring(1, 22, "VALUE"), 1);
    EXPECT_FALSE(engine().outputBlocked.load());

    ASSERT_EQ(setcheckFilterstring(0, 3, "GAIN(VALUE;2)"), 1);
    FilterSys* working = engine().profiles[0].chain(3).head();
    EXPECT_EQ(setcheckFilterstring(0, 3, "GAIN(VALUE;"), 0);
    EXPECT_EQ(engine().profiles[0].chain(3).head(), working) << "an invalid string never replaces a chain";
    EXPECT_TRUE(engine().outputBlocked.load()) << "output stays blocked until a later success";
    EXPECT_EQ(setcheckFilterstring(0, 23, "VALUE"), 0);
    EXPECT_EQ(setcheckFilterstring(0, -1, "VALUE"), 0);
}

TEST(EngineExports, CueArraysAreHandedOutByAddress) {
    double* data = nullptr;
    int count = -7;
    getMotionCueData(4, &data, &count);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(count, -7);
    getMotionCueData(-1, &data, &count);
    EXPECT_EQ(count, -7);

    const double* expected[] = {engine().airStage.data(), engine().groundStage.data(),
                                engine().finalCues.data(), engine().heldCues.data()};
    for (int which = 0; which < 4; ++which) {
        getMotionCueData(which, &data, &count);
        EXPECT_EQ(data, expected[which]);
        EXPECT_EQ(count, 23);
    }
}

TEST(EngineExports, ReadyStateChangesHoldTheOutput) {
    engine().outputFade.store(1.0);
    setMotionsystemready(7);
    EXPECT_EQ(getTransitionStatus(), 100.0);
    setMotionsystemready(1);
    EXPECT_TRUE(engine().motionSystemReady.load());
    EXPECT_EQ(getTransitionStatus(), 0.0);
    engine().outputFade.store(1.0);
    setMotionsystemready(1);
    EXPECT_EQ(getTransitionStatus(), 100.0) << "no change, no hold";
    setMotionsystemready(0);
    EXPECT_FALSE(engine().motionSystemReady.load());
    EXPECT_EQ(getTransitionStatus(), 0.0);
}

TEST(EngineExports, TimerPrecisionIsStoredForTheLoop) {
    setTimerPrecision(0);
    EXPECT_EQ(engine().loopTimer.preciseMode.load(), 0);
    setTimerPrecision(3);
    EXPECT_EQ(engine().loopTimer.preciseMode.load(), 3);
    setTimerPrecision(1);
}

TEST(EngineExports, NullOutParametersAreSkipped) {
    ::getGameName(nullptr);
    getGameData(nullptr, nullptr);
    getGameDataNames(nullptr, nullptr);
    getMotionCueData(2, nullptr, nullptr);
    int count = 0;
    getGameData(nullptr, &count);
    EXPECT_EQ(count, 43);
}

TEST(EngineExports, GameIdentityFollowsThePriorityOrder) {
    auto& source = engine().gameSource;
    char name[32];
    source.active[kMsfs2024].store(true);
    source.active[kMsfs2020].store(true);
    EXPECT_EQ(getGameID(), 2);
    source.active[kMsfs2020].store(false);
    source.active[kPcars2].store(true);
    EXPECT_EQ(getGameID(), 15) << "slot 15 comes before 9 in the priority order";
    source.active[kMsfs2024].store(false);
    ::getGameName(name);
    EXPECT_STREQ(name, "PCAR2/Automobilista2");
    source.clearActiveFlags();
    ::getGameName(name);
    EXPECT_STREQ(name, "No Game online");
}

}  // namespace
}  // namespace tarvelmond::test
