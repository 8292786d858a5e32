// The gravity split every reader runs, and the record's refusal of non-finite values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/frame_timer.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond::test {
namespace {

constexpr double g = 9.80665;

TelemetryRecord withAttitude(double rollDeg, double pitchDeg) {
    TelemetryRecord record;
    record.set(Channel::roll_position, rollDeg);
    record.set(Channel::pitch_position, pitchDeg);
    return record;
}

TEST(GravitySplit, LevelAndAtRestTheVerticalChannelCarriesOneG) {
    TelemetryRecord record = withAttitude(0.0, 0.0);
    applyGravitySplit(record, GravityMode::WithoutGravity);
    EXPECT_EQ(record.get(Channel::vertica_accel), 0.0);
    EXPECT_DOUBLE_EQ(record.get(Channel::vertica_gravi), g);
    EXPECT_DOUBLE_EQ(record.get(Channel::vertica_accel_g), g);
    EXPECT_DOUBLE_EQ(record.get(Channel::lateral_gravi), 0.0);
    EXPECT_DOUBLE_EQ(record.get(Channel::longitu_gravi), 0.0);
}

TEST(GravitySplit, NoseUpPutsGravityOnTheLongitudinalAxis) {
    TelemetryRecord record = withAttitude(0.0, 90.0);
    applyGravitySplit(record, GravityMode::WithoutGravity);
    EXPECT_NEAR(record.get(Channel::longitu_gravi), g, 1e-12);
    EXPECT_NEAR(record.get(Channel::lateral_gravi), 0.0, 1e-12);
    EXPECT_NEAR(record.get(Channel::vertica_gravi), 0.0, 1e-12);

    TelemetryRecord dirt = withAttitude(0.0, 90.0);
    applyGravitySplit(dirt, GravityMode::WithoutGravity, LongitudinalGravity::AsRotated);
    EXPECT_NEAR(dirt.get(Channel::longitu_gravi), -g, 1e-12) << "DiRT Rally keeps the rotation's sign";
}

TEST(GravitySplit, BankPutsGravityOnTheLateralAxisAndHeadingNeverEnters) {
    TelemetryRecord record = withAttitude(90.0, 0.0);
    record.set(Channel::yaw_position, 123.0);
    applyGravitySplit(record, GravityMode::WithoutGravity);
    EXPECT_NEAR(record.get(Channel::lateral_gravi), g, 1e-12);
    EXPECT_NEAR(record.get(Channel::vertica_gravi), 0.0, 1e-12);

    TelemetryRecord half = withAttitude(30.0, 0.0);
    applyGravitySplit(half, GravityMode::WithoutGravity);
    EXPECT_NEAR(half.get(Channel::lateral_gravi), g / 2.0, 1e-12);
}

TEST(GravitySplit, CompletesWhicheverHalfOfEachPairTheGameDidNotSend) {
    TelemetryRecord without = withAttitude(0.0, 30.0);
    without.set(Channel::longitu_accel, 2.0);
    applyGravitySplit(without, GravityMode::WithoutGravity);
    EXPECT_DOUBLE_EQ(without.get(Channel::longitu_accel_g), 2.0 + g / 2.0);

    TelemetryRecord with = withAttitude(0.0, 30.0);
    with.set(Channel::longitu_accel_g, 2.0);
    with.set(Channel::vertica_accel_g, g);
    applyGravitySplit(with, GravityMode::WithGravity);
    EXPECT_DOUBLE_EQ(with.get(Channel::longitu_accel), 2.0 - g / 2.0);
    EXPECT_NEAR(with.get(Channel::vertica_accel), g - g * std::cos(30.0 * kDegToRad), 1e-12);
}

TEST(TelemetryRecord, NonFiniteValuesKeepTheChannelsLastFiniteValue) {
    TelemetryRecord record;
    record.set(Channel::pitch_position, 4.0);
    record.set(Channel::pitch_position, std::numeric_limits<double>::quiet_NaN());
    record.set(Channel::pitch_position, std::numeric_limits<double>::infinity());
    record.set(Channel::pitch_position, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(record.get(Channel::pitch_position), 4.0);
    record.setSimTimePrev(12.0);
    record.setSimTimePrev(std::numeric_limits<double>::quiet_NaN());
    record.setSimStepMs(std::numeric_limits<double>::infinity());
    EXPECT_EQ(record.simTimePrev, 12.0);
    EXPECT_EQ(record.simStepMs, 0.0);
}

TEST(FrameTime, TheReaderTimerGivesTheIntervalInMilliseconds) {
    FrameTimer timer;
    TelemetryRecord record;
    timer.tick();
    sleepFor(std::chrono::milliseconds(5));
    updateFrameTime(timer, record);
    EXPECT_GE(record.frameTimeMs, 5.0);
    EXPECT_LT(record.frameTimeMs, 1000.0);
}

}  // namespace
}  // namespace tarvelmond::test
