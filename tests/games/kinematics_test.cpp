// The gravity split every reader runs, and the record's refusal of non-finite values. Completing the
// other half of each pair, with or without gravity, is checked through each game's readers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "game_test_support.h"
#include "games/kinematics.h"

namespace tarvelmond::test {
namespace {

TelemetryRecord withAttitude(double rollDeg, double pitchDeg) {
    TelemetryRecord record;
    record.set(roll_position, rollDeg);
    record.set(pitch_position, pitchDeg);
    record.set(yaw_position, 123.0);  // the heading never enters
    return record;
}

TEST(GravitySplit, PutsGravityOnTheAxesTheAttitudeTurnsItTo) {
    struct Case {
        double roll, pitch, lateral, longitudinal, vertical;
    };
    const Case cases[] = {
        {0, 0, 0, 0, g},   // level: the vertical channel carries one g
        {0, 90, 0, g, 0},  // nose up
        {90, 0, g, 0, 0},  // banked
        {30, 0, g / 2, 0, g * std::cos(30 * kDeg)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "roll " << c.roll << " pitch " << c.pitch);
        TelemetryRecord record = withAttitude(c.roll, c.pitch);
        applyGravitySplit(record, GravityMode::WithoutGravity);
        expectChannels(record,
                       {{lateral_gravi, c.lateral},
                        {longitu_gravi, c.longitudinal},
                        {vertica_gravi, c.vertical},
                        {vertica_accel_g, c.vertical},
                        {vertica_accel, 0}},
                       1e-12);
    }
    TelemetryRecord dirt = withAttitude(0.0, 90.0);
    applyGravitySplit(dirt, GravityMode::WithoutGravity, LongitudinalGravity::AsRotated);
    EXPECT_NEAR(dirt.get(longitu_gravi), -g, 1e-12) << "DiRT Rally keeps the rotation's sign";
}

TEST(TelemetryRecord, NonFiniteValuesKeepTheChannelsLastFiniteValue) {
    TelemetryRecord record;
    record.set(pitch_position, 4.0);
    record.setSimTimePrev(12.0);
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()}) {
        record.set(pitch_position, bad);
        record.setSimTimePrev(bad);
        record.setSimStepMs(bad);
    }
    EXPECT_EQ(record.get(pitch_position), 4.0);
    EXPECT_EQ(record.simTimePrev, 12.0);
    EXPECT_EQ(record.simStepMs, 0.0);
}

}  // namespace
}  // namespace tarvelmond::test
