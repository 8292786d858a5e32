// The engine's exported setters and getters, called the way a host calls them.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include "engine/motion_engine.h"

namespace tarvelmond::test {
namespace {

std::pair<double, double> limit(const std::array<DofLimit, kDofChannels>& limits, int dof) {
    const auto& l = limits[static_cast<std::size_t>(dof)];
    return {l.min.load(), l.max.load()};
}

TEST(EngineExports, SettersFollowTheirChannelRulesAndIgnoreOutOfRangeIndices) {
    SetInputDofLimitValue(3, -4.5, 4.5);
    EXPECT_EQ(limit(engine().cues.inputLimits, 3), std::make_pair(-4.5, 4.5));
    SetInputDofLimitValue(8, -1.0, 1.0);
    EXPECT_EQ(limit(engine().cues.inputLimits, 8), std::make_pair(-360.0, 360.0));
    for (int dof : {12, -1, 23})
        SetInputDofLimitValue(dof, -1.0, 1.0);
    for (int dof = 10; dof < 23; ++dof)
        EXPECT_EQ(limit(engine().cues.inputLimits, dof), std::make_pair(0.0, 0.0)) << dof;
    SetRigDofLimitValue(22, -2.0, 3.0);
    EXPECT_EQ(limit(engine().output.rigLimits, 22), std::make_pair(-2.0, 3.0));
    SetRigDofLimitValue(-5, 1.0, 1.0);
    SetRigDofLimitValue(23, 1.0, 1.0);

    setBelt_Mix(0, 42, 0.75);
    EXPECT_EQ(engine().cues.profiles[0].beltMix(42), 0.75);
    for (const auto& [profile, index] : {std::pair{2, 1}, {0, 43}, {0, -1}})
        setBelt_Mix(profile, index, 9.0);
    for (int i = 0; i < 42; ++i)
        EXPECT_EQ(engine().cues.profiles[0].beltMix(i), 0.0) << i;

    engine().fade.progress.store(1.0);
    setActiveAxis(5, 0, false);  // no such profile: nothing changes but the fade, which always restarts
    EXPECT_EQ(getTransitionStatus(), 0.0);
    setActiveAxis(1, 4, false);
    EXPECT_FALSE(engine().cues.profiles[1].getActivedof(4));
    for (int dof = 0; dof < 23; ++dof)
        EXPECT_TRUE(engine().cues.profiles[0].getActivedof(dof)) << "each profile has its own flags";
    setActiveAxis(1, 4, true);
}

TEST(EngineExports, FilterStringsBlockAndReleaseTheOutput) {
    EXPECT_EQ(setcheckFilterstring(2, 0, "VALUE"), 0);
    EXPECT_TRUE(engine().outputBlocked.load());
    EXPECT_EQ(setcheckFilterstring(1, 22, "VALUE"), 1);
    EXPECT_FALSE(engine().outputBlocked.load());

    ASSERT_EQ(setcheckFilterstring(0, 3, "GAIN(VALUE;2)"), 1);
    const FilterChain* working = engine().cues.profiles[0].chain(3).current();
    EXPECT_EQ(setcheckFilterstring(0, 3, "GAIN(VALUE;"), 0);
    EXPECT_EQ(setcheckFilterstring(0, 3, nullptr), 0);
    EXPECT_EQ(engine().cues.profiles[0].chain(3).current(), working)
        << "an invalid string never replaces a chain";
    EXPECT_TRUE(engine().outputBlocked.load()) << "output stays blocked until a later success";
}

TEST(EngineExports, CueArraysAreHandedOutByAddressAndNullOutParametersAreSkipped) {
    double* data = nullptr;
    int count = -7;
    for (int which : {4, -1})
        getMotionCueData(which, &data, &count);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(count, -7);
    const double* expected[] = {engine().cues.airStage.data(), engine().cues.groundStage.data(),
                                engine().cues.finalCues.data(), engine().fade.heldCues.data()};
    for (int which = 0; which < 4; ++which) {
        getMotionCueData(which, &data, &count);
        EXPECT_EQ(data, expected[which]);
        EXPECT_EQ(count, 23);
    }
    ::getGameName(nullptr);
    getGameData(nullptr, nullptr);
    getGameDataNames(nullptr, nullptr);
    getMotionCueData(2, nullptr, nullptr);
    getGameData(nullptr, &count);
    EXPECT_EQ(count, 43);
}

TEST(EngineExports, ReadyStateChangesHoldTheOutput) {
    engine().fade.progress.store(1.0);
    setMotionsystemready(7);
    EXPECT_EQ(getTransitionStatus(), 100.0);
    for (const auto& [state, change] : {std::pair{1, true}, {1, false}, {0, true}}) {
        engine().fade.progress.store(1.0);
        setMotionsystemready(state);
        EXPECT_EQ(engine().motionSystemReady.load(), state == 1);
        EXPECT_EQ(getTransitionStatus(), change ? 0.0 : 100.0) << state;
    }
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
