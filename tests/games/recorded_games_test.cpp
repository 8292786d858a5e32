// Packets recorded from the games (../shared/captures), sent over loopback to the real readers. The
// expected values are decoded here from the games' published layouts, not from the readers' offsets,
// or are facts of the recorded drive itself.
#include <gtest/gtest.h>

#include <cmath>

#include "game_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;

// ---- F1 24

// The recording catches the car in a left-hand corner: 1.35 g sideways at 28.9 m/s, a yaw rate near
// 1.35 g / 28.9 m/s = 0.46 rad/s. Its motion-ex angular velocity is X 0.077, Y 0.378, Z -0.212 rad/s:
// only Y fits the turn, and the local velocity's Z is the car's speed, so the car's axes are X left,
// Y up, Z forward.
TEST(RecordedF1, TheRatesOfACorneringCarPutTheTurnOnYaw) {
    const Bytes motion = readCapture("f1/f1_2024_packet-0.bin");
    const Bytes motionEx = readCapture("f1/f1_2024_packet-13.bin");
    ASSERT_EQ(motion.size(), 1349U);
    ASSERT_EQ(motionEx.size(), 237U);
    const std::size_t car = 29 + 60 * std::size_t{motion[27]};
    const auto at = [&](std::size_t offset) { return capturedFloat(motion, car + offset); };
    const double speed = std::sqrt(at(12) * at(12) + at(16) * at(16) + at(20) * at(20));
    EXPECT_NEAR(capturedFloat(motionEx, 169), speed, 0.5) << "local velocity Z is the forward speed";
    const double turnRate = std::fabs(at(36)) * g / speed / kDeg;  // degrees/s

    ReaderHarness h;
    h.deliver({motion, motionEx});
    ASSERT_EQ(h.readUntilData([&] { return readF1(h.port, h.context()); }), 1);
    const double yaw = h.record.get(yaw_speed);
    EXPECT_GT(yaw, 0.0) << "turning left, the heading grows";
    EXPECT_NEAR(yaw, turnRate, 0.3 * turnRate);
    EXPECT_LT(std::fabs(h.record.get(pitch_speed)), std::fabs(yaw));
    EXPECT_LT(std::fabs(h.record.get(roll_speed)), std::fabs(yaw));
    // The recording agrees that the turn is to the left: the car points left of where it travels (the
    // heading, growing to the left, exceeds the direction of the world velocity).
    const double travel = std::atan2(at(12), at(20));
    EXPECT_GT(std::remainder(at(48) - travel, 2 * std::numbers::pi), 0.0);
}

// ---- Live for Speed

TEST(RecordedLfs, TheOutSimPacketOfACarAtRestReadsAsItsSourceDecodesIt) {
    const Bytes packet = readCapture("lfs/lfs_outsimpack2_opts1ff_node-insim.bin");
    ASSERT_EQ(packet.size(), 280U);
    // OutSim with header and ID: "LFST", ID, time, then the main block: angular velocity (x, y, z),
    // heading, pitch, roll, acceleration (x, y, z), velocity, position.
    const auto at = [&](std::size_t offset) { return capturedFloat(packet, offset); };
    const double heading = at(24);
    ReaderHarness h;
    h.deliver({packet});
    ASSERT_EQ(h.readUntilData([&] { return readLfs(h.port, h.context()); }), 1);
    expectChannels(h.record,
                   {{yaw_position, heading / kDeg},
                    {pitch_position, at(28) / kDeg},
                    {roll_position, at(32) / kDeg},
                    {yaw_speed, at(20) / kDeg},
                    {vertica_accel, 0.0019}},
                   1e-4);
    // The car stands: on the ground's axes the acceleration is nearly nothing, however it is turned.
    EXPECT_NEAR(std::hypot(h.record.get(lateral_accel), h.record.get(longitu_accel)),
                std::hypot(at(36), at(40)), 1e-6);
    EXPECT_LT(std::fabs(h.record.get(lateral_accel)), 0.001);
    EXPECT_LT(std::fabs(h.record.get(longitu_accel)), 0.001);
    // Resting level, the gravity it feels is all vertical.
    EXPECT_NEAR(h.record.get(vertica_gravi), g, 0.01);
    EXPECT_NEAR(h.record.get(vertica_accel_g), g + 0.0019, 0.01);
}

}  // namespace
}  // namespace tarvelmond::test
