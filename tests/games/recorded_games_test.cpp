// Packets recorded from the games (../shared/captures), sent over loopback to the real readers. The
// expected values are decoded here from the games' published layouts, not from the readers' offsets,
// or are facts of the recorded drive itself.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

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

// ---- DiRT Rally 2.0

constexpr std::size_t kStandardPacket = 264;

// The whole recorded stage: 11973 datagrams of the game's standard output, about 60 a second.
std::vector<Bytes> recordedStage() {
    const Bytes file = readCapture("dirtrally2/dr2_stage_noorinbee_extradata3.bin");
    std::vector<Bytes> datagrams;
    for (std::size_t at = 0; at + kStandardPacket <= file.size(); at += kStandardPacket)
        datagrams.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                               file.begin() + static_cast<std::ptrdiff_t>(at + kStandardPacket));
    return datagrams;
}

// Decoded here from the published fields: the forward vector (14-16) gives the heading and pitch.
double recordedHeadingDeg(const Bytes& datagram) {
    return std::atan2(capturedFloat(datagram, 56), capturedFloat(datagram, 64)) / kDeg;
}
double recordedPitchDeg(const Bytes& datagram) {
    return -std::asin(capturedFloat(datagram, 60)) / kDeg;
}

TEST(RecordedDirtRally, TheStageTurnsWhereItsLateralLoadSaysAndStaysWithinARallyCarsAttitude) {
    const std::vector<Bytes> stage = recordedStage();
    ASSERT_EQ(stage.size(), 11973U);
    TelemetryRecord record;
    DirtRallyState state;
    // yaw rate (rad/s) against lateral acceleration / speed, over the stage at speed
    double sumX = 0, sumY = 0, sumXX = 0, sumYY = 0, sumXY = 0;
    std::size_t samples = 0;
    double steepestPitch = 0, steepestRoll = 0;
    for (const Bytes& datagram : stage) {
        parseDirtRallyDatagram(datagram, record, state);
        for (std::size_t channel = 0; channel < record.gameData.size(); ++channel)
            ASSERT_TRUE(std::isfinite(record.gameData[channel])) << "channel " << channel;
        steepestPitch = std::max(steepestPitch, std::fabs(record.get(pitch_position)));
        steepestRoll = std::max(steepestRoll, std::fabs(record.get(roll_position)));
        const double speed = record.get(longitu_speed);
        if (speed < 5.0) continue;
        const double x = -record.get(lateral_accel) / speed;
        const double y = record.get(yaw_speed) * kDeg;
        sumX += x, sumY += y, sumXX += x * x, sumYY += y * y, sumXY += x * y;
        ++samples;
    }
    ASSERT_GT(samples, 5000U);
    const double n = static_cast<double>(samples);
    const double covariance = sumXY / n - sumX / n * sumY / n;
    const double slope = covariance / (sumXX / n - sumX / n * sumX / n);
    const double correlation =
        covariance / std::sqrt((sumXX / n - sumX / n * sumX / n) * (sumYY / n - sumY / n * sumY / n));
    EXPECT_GT(correlation, 0.6) << "the heading turns with the lateral load";
    EXPECT_NEAR(slope, 1.0, 0.3) << "yaw rate ~ lateral acceleration / speed";
    EXPECT_LT(steepestPitch, 30.0);
    EXPECT_LT(steepestRoll, 30.0);
    EXPECT_GT(steepestPitch, 3.0) << "a mountain stage is not flat";
}

// A slice of the stage over loopback, in bursts of random length as a busy machine delivers them:
// the reader takes the newest datagram of each burst, and its rates still come from the stage time.
TEST(RecordedDirtRally, ASliceReplayedInRandomBurstsReadsTheNewestDatagramOfEach) {
    const std::vector<Bytes> stage = recordedStage();
    ASSERT_GT(stage.size(), 4000U);
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<std::size_t> burst(1, 4);
    ReaderHarness h;
    std::size_t next = 3000;
    const Bytes* previous = nullptr;
    while (next < 3600) {
        const std::size_t count = std::min(burst(random), std::size_t{3600} - next);
        std::vector<Bytes> sent(stage.begin() + static_cast<std::ptrdiff_t>(next),
                                stage.begin() + static_cast<std::ptrdiff_t>(next + count));
        next += count;
        h.deliver(sent);
        ASSERT_EQ(h.readUntilData([&] { return readDirtRally(h.port, h.context(), h.dirtRally); }), 1);
        const Bytes& newest = stage[next - 1];
        EXPECT_NEAR(h.record.get(yaw_position), recordedHeadingDeg(newest), 1e-3);
        EXPECT_NEAR(h.record.get(pitch_position), recordedPitchDeg(newest), 1e-3);
        if (previous != nullptr) {
            const double step = capturedFloat(newest, 4) - capturedFloat(*previous, 4);
            const double turn =
                std::remainder(recordedHeadingDeg(newest) - recordedHeadingDeg(*previous), 360.0);
            EXPECT_NEAR(h.record.get(yaw_speed), turn / step, 0.01 + 1e-3 * std::fabs(turn / step));
        }
        previous = &newest;
    }
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
