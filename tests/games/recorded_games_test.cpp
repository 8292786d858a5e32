// Packets recorded from the games (../shared/captures), sent over loopback to the real readers. The
// expected values are decoded here from the games' published layouts, not from the readers' offsets,
// or are facts of the recorded drive itself.
#include <gtest/gtest.h>

#include <cmath>

#include "game_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;

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
