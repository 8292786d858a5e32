// From the game-data block to the AIR, GROUND and final cues.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "motion/cue_computation.h"
#include "support/engine_fixture.h"

namespace tarvelmond::test {
namespace {

class CueComputation : public ::testing::Test {
  protected:
    void compute() { computeMotionCues(e->gameSource.record, e->cues); }
    double air(int dof) const { return e.engine->cues.airStage[static_cast<std::size_t>(dof)]; }
    double ground(int dof) const { return e.engine->cues.groundStage[static_cast<std::size_t>(dof)]; }
    double final(int dof) const { return e.engine->cues.finalCues[static_cast<std::size_t>(dof)]; }
    double beltSum() const { return e.engine->gameSource.record.get(Channel::belt_sum); }

    EngineUnderTest e;
};

TEST_F(CueComputation, ChannelsYieldZeroUntilAChainIsInstalledAndInputLimitsClampAccelerationsAndRates) {
    for (int slot = 1; slot < 42; ++slot)
        e.setChannel(static_cast<Channel>(slot), 3.5);
    for (int dof = 0; dof < 23; ++dof)
        e.setInputLimit(dof, -100.0, 100.0);
    e->cues.groundWeight.store(0.5);
    compute();
    EXPECT_EQ(e->cues.airStage, CueArray{});
    EXPECT_EQ(e->cues.groundStage, CueArray{});

    e.setInputLimit(8, 0.0, 0.0);
    e.install(0, 0, "VALUE");
    e.install(0, 8, "VALUE");
    e.setChannel(Channel::roll_position, 25.0);
    // {min, max, input, cue}: the default {0, 0} holds the input at 0; with min above max the result is
    // min below min, else the smaller of max and the input.
    const double cases[][4] = {{0, 0, 5, 0}, {-2, 2, 5, 2}, {-2, 2, -7, -2}, {3, 1, -7, 3}, {3, 1, 4, 1}};
    for (const auto& [min, max, input, cue] : cases) {
        e.setInputLimit(0, min, max);
        e.setChannel(Channel::lateral_accel_g, input);
        compute();
        EXPECT_EQ(air(0), cue) << min << " " << max << " " << input;
        EXPECT_EQ(air(8), 25.0) << "position channels are not clamped";
    }
}

TEST_F(CueComputation, BeltSumWeighsFourAirChannelsOfTheSameTick) {
    for (int dof : {10, 11, 12, 13, 14})
        e.install(0, dof, "VALUE");
    auto& profile = e.engine->cues.profiles[0];
    for (const auto& [index, weight] : {std::pair{1, 0.5}, {2, 0.25}, {4, 2.0}, {5, 1.0}, {3, 100.0}})
        profile.setBeltMix(index, weight);  // index 3 is not a belt weight
    e.setChannel(Channel::longitu_accel_g, 2.0);
    e.setChannel(Channel::vertica_accel_g, 4.0);
    e.setChannel(Channel::roll_speed, 3.0);
    e.setChannel(Channel::pitch_speed, -1.0);
    compute();
    EXPECT_DOUBLE_EQ(beltSum(), 0.5 * 2 + 0.25 * 4 + 2.0 * 3 - 1.0);
    EXPECT_DOUBLE_EQ(air(10), 7.0);
    EXPECT_DOUBLE_EQ(final(10), 7.0);
    profile.setActive(11, false);
    compute();
    EXPECT_EQ(air(11), 0.0);
    EXPECT_DOUBLE_EQ(beltSum(), 6.0);
}

TEST_F(CueComputation, AxesCollectRateTiltPositionAndTheEffectsThatGenerateOnTheirOwn) {
    for (int dof : {4, 6, 8, 19})
        e.install(0, dof, "VALUE");
    e.install(0, 15, "SINUS(VALUE;2;1)");
    e.install(0, 20, "GAIN(VALUE;5)");  // the effect input is the constant zero slot
    for (int dof : {5, 7, 9})
        e.install(0, dof, "GAIN(VALUE;2)");
    e.install(1, 4, "VALUE");
    for (int dof : {4, 5, 6, 7})
        e.setInputLimit(dof, -100, 100);
    e.setChannel(Channel::roll_speed, 3.0);
    e.setChannel(Channel::lateral_accel_g, 2.0);
    e.setChannel(Channel::roll_position, 5.0);
    e.setChannel(Channel::pitch_speed, 1.0);
    e.setChannel(Channel::longitu_accel_g, -4.0);
    e.setChannel(Channel::pitch_position, 10.0);
    compute();
    EXPECT_DOUBLE_EQ(final(6), 2.0);
    EXPECT_DOUBLE_EQ(final(8), 5.0);
    EXPECT_DOUBLE_EQ(final(4), 2.0 + 3.0 + 5.0);  // the ground weight is 0
    EXPECT_DOUBLE_EQ(final(5), -8.0 + 2.0 + 20.0);
    const double effect = 2.0 * std::sin(2.0 * std::numbers::pi * 0.002);
    EXPECT_NEAR(air(15), effect, 1e-6);
    EXPECT_NEAR(final(0), effect, 1e-6) << "lateral: no chain of its own, the effect alone";
    EXPECT_EQ(air(20), 0.0);
}

TEST_F(CueComputation, ZeroWeightedChainsStillAdvanceAndGroundFeedsOnlyTheMainChannels) {
    e.install(0, 8, "EMALP(VALUE;10)");
    e.install(0, 21, "VALUE");
    e.install(1, 0, "VALUE");
    e.install(1, 21, "VALUE");
    e.setInputLimit(0, -10, 10);
    e.setChannel(Channel::lateral_accel_g, 4.0);
    e.setChannel(Channel::roll_position, 1.0);
    e.setChannel(Channel::speed, 42.0);
    e->cues.airWeight.store(0.0);
    e->cues.groundWeight.store(1.0);
    compute();
    compute();
    EXPECT_EQ(air(8), 0.0);
    EXPECT_EQ(air(21), 42.0) << "the wind channel is not weighted";
    EXPECT_EQ(ground(21), 0.0);
    e->cues.airWeight.store(0.25);
    e->cues.groundWeight.store(0.75);
    compute();
    EXPECT_NEAR(air(8), 0.25 * (1.0 - std::pow(0.9, 3)), 1e-6) << "the low-pass saw three samples";
    EXPECT_DOUBLE_EQ(ground(0), 3.0);
    EXPECT_DOUBLE_EQ(final(0), 3.0);
}

}  // namespace
}  // namespace tarvelmond::test
