// The built-in flight must look like telemetry a flight-simulator reader delivers, or tuning filters
// on it teaches the wrong things.
#include <gtest/gtest.h>

#include <cmath>

#include "flight_plan.h"
#include "replay.h"
#include "scenario.h"

namespace tarvelmond::offline::test {
namespace {

constexpr double kG = 9.80665;
constexpr double kRadians = 3.14159265358979323846 / 180.0;

class BuiltInFlight : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { flight_ = new TelemetryTable(builtInFlight()); }
    static void TearDownTestSuite() { delete flight_; }

    static double at(std::size_t row, Channel channel) {
        for (std::size_t c = 0; c < flight_->channels.size(); ++c) {
            if (flight_->channels[c] == channel) return flight_->row(row)[c];
        }
        ADD_FAILURE() << "channel " << static_cast<int>(channel) << " missing";
        return 0.0;
    }
    static std::size_t rowAt(double seconds) {
        return static_cast<std::size_t>(std::llround(seconds / kTickSeconds));
    }
    static const TelemetryTable& flight() { return *flight_; }

  private:
    static TelemetryTable* flight_;
};
TelemetryTable* BuiltInFlight::flight_ = nullptr;

TEST_F(BuiltInFlight, IsTheSameEveryTime) {
    const TelemetryTable again = builtInFlight();
    EXPECT_EQ(again.values, flight().values);
    EXPECT_EQ(again.onGround, flight().onGround);
}

TEST_F(BuiltInFlight, LiftsOffOnceAndTouchesDownOnce) {
    ASSERT_EQ(flight().rowCount(), rowAt(kFlightSeconds));
    std::vector<std::size_t> changes;
    for (std::size_t r = 1; r < flight().rowCount(); ++r) {
        if (flight().onGround[r] != flight().onGround[r - 1]) changes.push_back(r);
    }
    ASSERT_EQ(changes.size(), 2U);
    EXPECT_EQ(changes[0], rowAt(kLiftOffS));
    EXPECT_EQ(changes[1], rowAt(kTouchdownS));
    EXPECT_EQ(flight().onGround.front(), 1);
    EXPECT_EQ(flight().timeS[1000], 1000 * kTickSeconds);
    const double liftOffSpeed = at(rowAt(kLiftOffS), Channel::speed) / 3.6;
    EXPECT_GT(liftOffSpeed, 24.0) << "a light aircraft flies at about 50 kt";
    EXPECT_LT(liftOffSpeed, 32.0);
}

TEST_F(BuiltInFlight, EachChannelWithGravityIsAccelerationPlusTheGravityComponent) {
    for (std::size_t r = 0; r < flight().rowCount(); r += 97) {
        const double roll = at(r, Channel::roll_position) * kRadians;
        const double pitch = at(r, Channel::pitch_position) * kRadians;
        EXPECT_NEAR(at(r, Channel::lateral_gravi), kG * std::cos(pitch) * std::sin(roll), 1e-9);
        EXPECT_NEAR(at(r, Channel::longitu_gravi), kG * std::sin(pitch), 1e-9);
        EXPECT_NEAR(at(r, Channel::vertica_gravi), kG * std::cos(pitch) * std::cos(roll), 1e-9);
        EXPECT_NEAR(at(r, Channel::lateral_accel_g),
                    at(r, Channel::lateral_accel) + at(r, Channel::lateral_gravi), 1e-9);
        EXPECT_NEAR(at(r, Channel::longitu_accel_g),
                    at(r, Channel::longitu_accel) + at(r, Channel::longitu_gravi), 1e-9);
        EXPECT_NEAR(at(r, Channel::vertica_accel_g),
                    at(r, Channel::vertica_accel) + at(r, Channel::vertica_gravi), 1e-9);
    }
}

TEST_F(BuiltInFlight, FeelsLikeAnAircraft) {
    // Parked: gravity alone, up to engine shake.
    EXPECT_NEAR(at(rowAt(2.0), Channel::vertica_accel_g), kG, 0.1);
    EXPECT_NEAR(at(rowAt(2.0), Channel::longitu_accel_g), 0.0, 0.1);
    // Take-off roll: pushed back into the seat.
    EXPECT_GT(at(rowAt(20.0), Channel::longitu_accel_g), 1.5);
    // Steady bank in a coordinated turn: no side force, more than 1 g, the heading turning at
    // g·tan(bank)/V, of which the body's yaw axis, tilted by bank and pitch, sees cos(bank)·cos(pitch).
    const std::size_t turn = rowAt(41.5);
    const double bank = at(turn, Channel::roll_position);
    EXPECT_NEAR(bank, -25.0, 0.01);
    EXPECT_NEAR(at(turn, Channel::lateral_accel_g), 0.0, 1.5) << "only turbulence";
    EXPECT_GT(at(turn, Channel::vertica_accel_g), kG * 1.03);
    const double speed = at(turn, Channel::speed) / 3.6;
    const double headingRate = kG * std::tan(bank * kRadians) / speed / kRadians;
    const double pitch = at(turn, Channel::pitch_position) * kRadians;
    EXPECT_NEAR(at(turn, Channel::yaw_speed), headingRate * std::cos(bank * kRadians) * std::cos(pitch),
                0.05);
    // Heading keeps the turn's direction: decreasing in the left turn.
    EXPECT_LT(at(rowAt(43.0), Channel::yaw_position), at(rowAt(40.0), Channel::yaw_position));
    // The touchdown bump.
    double bump = 0.0;
    for (std::size_t r = rowAt(kTouchdownS); r < rowAt(kTouchdownS + 0.3); ++r)
        bump = std::max(bump, at(r, Channel::vertica_accel_g));
    EXPECT_GT(bump, kG + 3.0);
}

TEST_F(BuiltInFlight, NeverStandsStillLongEnoughToTripTheFrozenDataWatchdog) {
    auto engine = makeReplayEngine();
    std::int32_t longest = 0;
    replayTelemetry(*engine, flight(),
                    [&](const TickView& tick) { longest = std::max(longest, tick.engine.staleCount); });
    EXPECT_LT(longest, 5);
}

}  // namespace
}  // namespace tarvelmond::offline::test
