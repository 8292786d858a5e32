// The replay drives the real pipeline: it must match an engine driven tick by tick, and show the
// air/ground transition and the output fade where the telemetry puts them.
#include <gtest/gtest.h>

#include <cmath>

#include "profile_file.h"
#include "profile_installation.h"
#include "replay.h"
#include "support/engine_fixture.h"
#include "support/realistic_profile.h"
#include "telemetry_csv.h"

namespace tarvelmond::offline::test {
namespace {

// A few hundred ticks with every input moving, a landing and a take-off in the middle.
TelemetryTable movingTelemetry() {
    TelemetryTable table;
    table.source = "test";
    table.channels = {Channel::lateral_accel_g, Channel::longitu_accel_g, Channel::vertica_accel_g,
                      Channel::yaw_speed,       Channel::roll_speed,      Channel::pitch_speed,
                      Channel::roll_position,   Channel::pitch_position,  Channel::speed};
    for (int r = 0; r < 600; ++r) {
        const double t = r * 0.002;
        for (std::size_t c = 0; c < table.channels.size(); ++c)
            table.values.push_back(std::sin(t * (1.0 + c) * 3.0) * (5.0 + c) + (c == 2 ? 9.81 : 0.0));
        table.onGround.push_back(r >= 150 && r < 400 ? 1 : 0);
    }
    return table;
}

RigProfile realisticProfile() {
    RigProfile profile;
    profile.source = "test";
    for (int dof = 0; dof < kDofChannels; ++dof)
        profile.profiles[kAirProfile].filters[dof] =
            FilterSetting{::tarvelmond::test::kRealisticAirChains[dof], {}};
    for (int dof = 0; dof < 10; ++dof) {
        profile.profiles[kGroundProfile].filters[dof] =
            FilterSetting{::tarvelmond::test::kRealisticGroundChains[dof], {}};
    }
    for (int dof = 0; dof < 8; ++dof)
        profile.inputLimits[dof] = Limit{-30.0, 30.0};
    profile.beltMix = {{1, 0.25}, {2, 0.25}, {4, 0.25}, {5, 0.25}};
    return profile;
}

TEST(Replay, EqualsAnEngineDrivenTickByTickWithTheSameProfile) {
    const TelemetryTable table = movingTelemetry();

    ::tarvelmond::test::EngineUnderTest direct;
    ::tarvelmond::test::installRealisticProfile(*direct);

    auto engine = makeReplayEngine();
    installProfile(*engine, realisticProfile());

    std::size_t ticks = 0;
    replayTelemetry(*engine, table, [&](const TickView& tick) {
        const auto row = table.row(tick.index);
        for (std::size_t c = 0; c < table.channels.size(); ++c)
            direct.setChannel(table.channels[c], row[c]);
        direct.setGround(table.onGround[tick.index] != 0);
        direct.tick();
        for (int dof = 0; dof < kDofChannels; ++dof) {
            ASSERT_EQ(tick.engine.finalCues[dof], direct->finalCues[dof])
                << "tick " << tick.index << " dof " << dof;
            ASSERT_EQ(tick.engine.airStage[dof], direct->airStage[dof])
                << "tick " << tick.index << " dof " << dof;
            ASSERT_EQ(tick.engine.groundStage[dof], direct->groundStage[dof]) << "tick " << tick.index;
        }
        ASSERT_EQ(tick.engine.airWeight.load(), direct->airWeight.load()) << "tick " << tick.index;
        ASSERT_EQ(tick.engine.outputFade.load(), direct->outputFade.load()) << "tick " << tick.index;
        ++ticks;
    });
    EXPECT_EQ(ticks, table.rowCount());
}

// One channel through VALUE in both profiles, scaled differently, so the weights can be read off the cue.
struct TwoProfileRig {
    TwoProfileRig() {
        const RigProfile profile = parseProfileFile(R"toml(
[air.filters]
roll_position = "VALUE"
[ground.filters]
roll_position = "GAIN(VALUE;3)"
)toml",
                                                    "rig.toml");
        installProfile(*engine, profile);
    }
    std::unique_ptr<MotionEngine> engine = makeReplayEngine();
};

TelemetryTable constantRoll(std::vector<std::uint8_t> onGround) {
    TelemetryTable table;
    table.channels = {Channel::roll_position};
    table.values.assign(onGround.size(), 10.0);
    table.onGround = std::move(onGround);
    return table;
}

TEST(Replay, TheGroundFlagCrossFadesTheProfilesOverOneHundredTicks) {
    TwoProfileRig rig;
    std::vector<std::uint8_t> flags(3000, 0);
    std::fill(flags.begin() + 2500, flags.end(), 1);  // touchdown after the start-up fade
    std::vector<double> roll, air, ground;
    replayTelemetry(*rig.engine, constantRoll(flags), [&](const TickView& tick) {
        roll.push_back(tick.engine.finalCues[8]);
        air.push_back(tick.engine.airWeight.load());
        ground.push_back(tick.engine.groundWeight.load());
        EXPECT_EQ(tick.onGround, flags[tick.index] != 0);
    });
    EXPECT_DOUBLE_EQ(roll[2499], 10.0) << "in the air, once the start-up fade is over";
    EXPECT_DOUBLE_EQ(roll[2500], 10.0) << "the first tick on the ground still computes with the air weight";
    EXPECT_NEAR(roll[2550], 10.0 * 0.5 + 30.0 * 0.5, 1e-9) << "halfway";
    for (std::size_t t = 2501; t < 2600; ++t) {
        EXPECT_GT(roll[t], roll[t - 1]) << "rises steadily, no jump, at tick " << t;
        EXPECT_NEAR(air[t] + ground[t], 1.0, 1e-12);
    }
    EXPECT_DOUBLE_EQ(roll[2999], 30.0);
    EXPECT_EQ(air.back(), 0.0);
    EXPECT_EQ(ground.back(), 1.0);
}

TEST(Replay, TheStartUpFadeTakesFourSecondsOfLoopTime) {
    TwoProfileRig rig;
    std::vector<double> roll, fade;
    replayTelemetry(*rig.engine, constantRoll(std::vector<std::uint8_t>(2100, 0)), [&](const TickView& tick) {
        roll.push_back(tick.engine.finalCues[8]);
        fade.push_back(tick.engine.outputFade.load());
    });
    EXPECT_EQ(roll[0], 0.0) << "the held cues were all zero";
    EXPECT_NEAR(roll[1000], 5.0, 0.01) << "two seconds in, halfway";
    EXPECT_LT(fade[1997], 1.0);
    EXPECT_EQ(fade[2000], 1.0) << "2000 ticks of 2 ms";
    EXPECT_DOUBLE_EQ(roll[2050], 10.0);
}

TEST(Replay, ChannelsTheRecordingLacksStayZero) {
    auto engine = makeReplayEngine();
    TelemetryTable table = constantRoll({0, 0, 0});
    replayTelemetry(*engine, table, [&](const TickView& tick) {
        EXPECT_EQ(tick.engine.gameSource.record.get(Channel::roll_position), 10.0);
        EXPECT_EQ(tick.engine.gameSource.record.get(Channel::yaw_speed), 0.0);
        EXPECT_EQ(tick.engine.gameSource.activeSlot(), kXplane)
            << "a flight simulator drives the ground state";
    });
    EXPECT_DOUBLE_EQ(engine->loopTimer.lastIntervalMs(), 2.0);
}

}  // namespace
}  // namespace tarvelmond::offline::test
