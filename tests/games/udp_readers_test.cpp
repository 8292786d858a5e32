// The binary UDP readers, fed over real loopback sockets by the game emulator, and the F1 readers
// against packets recorded from the games.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "reader_harness.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
constexpr double g = 9.80665;
constexpr double kDeg = std::numbers::pi / 180.0;

float radians(double degrees) {
    return static_cast<float>(degrees * kDeg);
}

// ---- X-Plane

TEST(XplaneReader, ReadsEveryRecordOfADatagramAndSkipsShortOnes) {
    ReaderHarness h;
    Bytes tooShort = xplanePacket({{17, {25.0f, 0, 0}}});
    tooShort.pop_back();  // 40 bytes
    h.deliver({tooShort});
    EXPECT_EQ(readXplane(h.port, h.context()), 0);
    EXPECT_EQ(h.record.get(Channel::pitch_position), 0.0);

    // 77 bytes: two records. 383 has the low byte 127, which reads as the attitude group.
    h.deliver({xplanePacket({{383, {10.0f, -5.0f, 30.0f}}, {3, {0, 0, 0, 0, 0, 0, 0, 42.0f}}})});
    ASSERT_EQ(h.readUntilData([&] { return readXplane(h.port, h.context()); }), 1);
    EXPECT_EQ(h.record.get(Channel::pitch_position), 10.0);
    EXPECT_EQ(h.record.get(Channel::roll_position), -5.0);
    EXPECT_EQ(h.record.get(Channel::yaw_position), -30.0);
    EXPECT_EQ(h.record.get(Channel::speed), 42.0);
    EXPECT_NEAR(h.record.get(Channel::longitu_gravi), g * std::sin(10.0 * kDeg), 1e-9);
}

TEST(XplaneReader, AccelerationsArriveWithGravityAndGearLoadsTellGroundContact) {
    TelemetryRecord record;
    std::uint32_t onGround = 0;
    parseXplaneDatagram(xplanePacket({{66, {1.0f, 2.0f, 3.0f}}}), record, onGround);
    EXPECT_EQ(onGround, 1U);
    EXPECT_EQ(record.get(Channel::fr_lft_susp_pos), 1.0);
    EXPECT_EQ(record.get(Channel::fr_rgt_susp_pos), 1.0);
    EXPECT_EQ(record.get(Channel::re_rgt_susp_pos), 2.0);
    EXPECT_EQ(record.get(Channel::re_lft_susp_pos), 3.0);
    parseXplaneDatagram(xplanePacket({{66, {1.0f, 0.0f, 3.0f}}}), record, onGround);
    EXPECT_EQ(onGround, 0U) << "one unloaded gear means airborne";
    parseXplaneDatagram(xplanePacket({{20, {1.0f, 1.0f, 1.0f}}}), record, onGround);
    EXPECT_EQ(onGround, 0U) << "only the gear group changes the flag";

    parseXplaneDatagram(xplanePacket({{135, {0.5f, 98.0665f, 2.0f, 1.0f, 2.0f, 3.0f}}}), record, onGround);
    EXPECT_EQ(record.get(Channel::lateral_accel_g), 0.5);
    EXPECT_EQ(record.get(Channel::longitu_accel_g), -2.0);
    EXPECT_NEAR(record.get(Channel::vertica_accel_g), g, 1e-5);
    EXPECT_EQ(record.get(Channel::yaw_speed), -3.0);
}

// ---- DiRT Rally 2

TEST(DirtRallyReader, TakesTheMotionPacketInGAndRadians) {
    ReaderHarness h;
    h.deliver({dirtRallyPacket({.lateralG = 0.5f,
                                .longitudinalG = -0.25f,
                                .pitch = radians(10),
                                .roll = radians(-4),
                                .yaw = radians(120),
                                .yawRate = radians(20)})});
    ASSERT_EQ(h.readUntilData([&] { return readDirtRally(h.port, h.context()); }), 1);
    EXPECT_NEAR(h.record.get(Channel::lateral_accel), -0.5 * g, 1e-6);
    EXPECT_NEAR(h.record.get(Channel::longitu_accel), -0.25 * g, 1e-6);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 10.0, 1e-5);
    EXPECT_NEAR(h.record.get(Channel::roll_position), -4.0, 1e-5);
    EXPECT_NEAR(h.record.get(Channel::yaw_position), 30.0, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::yaw_speed), 20.0, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::longitu_gravi), -g * std::sin(10.0 * kDeg), 1e-6);
    EXPECT_NEAR(h.record.get(Channel::lateral_accel_g), -0.5 * g + h.record.get(Channel::lateral_gravi),
                1e-9);
}

TEST(DirtRallyReader, OtherLengthsKeepTheMotionChannelsButClearTheSpeeds) {
    TelemetryRecord record;
    record.set(Channel::longitu_speed, 12.0);
    parseDirtRallyDatagram(dirtRallyPacket({.pitch = radians(5)}), record);
    Bytes longer = dirtRallyPacket({.pitch = radians(25)});
    longer.resize(264);
    parseDirtRallyDatagram(longer, record);
    EXPECT_NEAR(record.get(Channel::pitch_position), 5.0, 1e-5);
    EXPECT_EQ(record.get(Channel::longitu_speed), 0.0);
}

// ---- F1 23 / F1 24

Bytes capture(const char* name) {
    std::ifstream file(std::string(TARVELMOND_CAPTURES_DIR) + "/f1/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(F1Reader, DecodesRecordedMotionPacketsOfBothGames) {
    struct Expected {
        const char* file;
        double lateral, longitudinal, vertical, yaw, pitch, roll;
    };
    // The player's car (byte 27 = 0 in both recordings; byte 28 is 255, no second player).
    const Expected expected[] = {
        {"f1_2023_packet-0.bin", -1.625970, -2.554016, -0.255257, 143.906799, -0.459576, -0.185147},
        {"f1_2024_packet-0.bin", -13.225238, -3.338315, -2.170970, 150.480105, 0.717935, -0.134064},
    };
    for (const Expected& e : expected) {
        const Bytes packet = capture(e.file);
        ASSERT_EQ(packet.size(), 1349U) << e.file;
        EXPECT_EQ(packet[27], 0) << e.file;
        EXPECT_EQ(packet[28], 255) << e.file;
        TelemetryRecord record;
        parseF1Datagram(packet, record);
        EXPECT_NEAR(record.get(Channel::lateral_accel_g), e.lateral, 1e-5) << e.file;
        EXPECT_NEAR(record.get(Channel::longitu_accel_g), e.longitudinal, 1e-5) << e.file;
        EXPECT_NEAR(record.get(Channel::vertica_accel_g), e.vertical, 1e-5) << e.file;
        EXPECT_NEAR(record.get(Channel::yaw_position), e.yaw, 1e-4) << e.file;
        EXPECT_NEAR(record.get(Channel::pitch_position), e.pitch, 1e-5) << e.file;
        EXPECT_NEAR(record.get(Channel::roll_position), e.roll, 1e-5) << e.file;
    }
}

TEST(F1Reader, ReadsThePlayersCarNamedByByte27) {
    Bytes packet = capture("f1_2023_packet-0.bin");
    ASSERT_EQ(packet.size(), 1349U);
    packet[27] = 1;  // the same race seen from car 1
    TelemetryRecord record;
    parseF1Datagram(packet, record);
    EXPECT_NEAR(record.get(Channel::yaw_position), 144.861086, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_position), 0.866198, 1e-5);

    // A built packet: the player is car 7, a split-screen player car 3.
    parseF1Datagram(
        f1MotionPacket(2024, 7, {.lateralG = 0.5f, .pitch = radians(10)}, {.pitch = radians(-20)}, 3),
        record);
    EXPECT_NEAR(record.get(Channel::pitch_position), 10.0, 1e-5);
    EXPECT_NEAR(record.get(Channel::lateral_accel_g), -0.5 * g, 1e-6);
}

TEST(F1Reader, DecodesRecordedMotionExPacketsIntoRates) {
    struct Expected {
        const char* file;
        std::size_t size;
        double roll, pitch, yaw;
    };
    const Expected expected[] = {
        {"f1_2023_packet-13.bin", 217, 0.695088, 0.040363, 0.040968},
        {"f1_2024_packet-13.bin", 237, -4.438907, -21.658810, 12.172820},
    };
    for (const Expected& e : expected) {
        const Bytes packet = capture(e.file);
        ASSERT_EQ(packet.size(), e.size) << e.file;
        TelemetryRecord record;
        parseF1Datagram(packet, record);
        EXPECT_NEAR(record.get(Channel::roll_speed), e.roll, 1e-4) << e.file;
        EXPECT_NEAR(record.get(Channel::pitch_speed), e.pitch, 1e-4) << e.file;
        EXPECT_NEAR(record.get(Channel::yaw_speed), e.yaw, 1e-4) << e.file;
    }
}

TEST(F1Reader, IgnoresOtherFormatsAndSizes) {
    TelemetryRecord record;
    parseF1Datagram(f1MotionPacket(2022, 0, {.pitch = radians(10)}), record);
    Bytes odd = f1MotionPacket(2024, 0, {.pitch = radians(10)});
    odd.resize(1350);
    parseF1Datagram(odd, record);
    parseF1Datagram(f1MotionPacket(2024, 30, {.pitch = radians(10)}), record);  // no such car
    for (double value : record.gameData)
        EXPECT_EQ(value, 0.0);
}

TEST(F1Reader, KeepsOnlyTheNewestOfTheWaitingPacketsAndTimesEveryCall) {
    ReaderHarness h;
    EXPECT_EQ(readF1(h.port, h.context()), 0);
    const double idleFrameTime = h.record.frameTimeMs;
    EXPECT_GT(idleFrameTime, 0.0) << "the timer runs on calls without data too";

    h.deliver({f1MotionPacket(2023, 0, {.pitch = radians(1)}), f1MotionPacket(2023, 0, {.pitch = radians(2)}),
               f1MotionExPacket(2023, 0.0f, 0.0f, radians(-30)),
               f1MotionPacket(2024, 0, {.pitch = radians(3)})});
    ASSERT_EQ(readF1(h.port, h.context()), 1);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 3.0, 1e-5);
    EXPECT_NEAR(h.record.get(Channel::yaw_speed), 30.0, 1e-4);
    EXPECT_EQ(readF1(h.port, h.context()), 0) << "all were taken by the first call";
}

// ---- EA WRC

TEST(WrcReader, TurnsTheDirectionVectorsIntoAngles) {
    struct Attitude {
        double yaw, pitch, roll;
    };
    for (const Attitude a : {Attitude{0, 10, 0}, Attitude{0, -8, 0}, Attitude{0, 0, 5}, Attitude{0, 0, -12},
                             Attitude{30, 0, 0}, Attitude{-120, 0, 0}}) {
        TelemetryRecord record;
        WrcState state;
        parseWrcDatagram(wrcPacket({.yawDeg = a.yaw, .pitchDeg = a.pitch, .rollDeg = a.roll}), record, state);
        EXPECT_NEAR(record.get(Channel::pitch_position), a.pitch, 1e-3)
            << a.yaw << " " << a.pitch << " " << a.roll;
        EXPECT_NEAR(record.get(Channel::roll_position), a.roll, 1e-3)
            << a.yaw << " " << a.pitch << " " << a.roll;
        EXPECT_NEAR(record.get(Channel::yaw_position), a.yaw, 1e-3)
            << a.yaw << " " << a.pitch << " " << a.roll;
    }
}

TEST(WrcReader, RatesFoldAngleChangesInDegrees) {
    TelemetryRecord record;
    WrcState state;
    record.frameTimeMs = 50.0;  // longer than 30 ms: a stand-in step of 20 ms is used
    parseWrcDatagram(wrcPacket({.yawDeg = 179.0}), record, state);
    parseWrcDatagram(wrcPacket({.yawDeg = -179.0}), record, state);
    EXPECT_NEAR(record.get(Channel::yaw_speed), 2.0 / 0.02, 0.1)
        << "179 to -179 is 2 degrees on, the short way";

    record.frameTimeMs = 10.0;
    parseWrcDatagram(wrcPacket({.yawDeg = -175.0}), record, state);
    EXPECT_NEAR(record.get(Channel::yaw_speed), 4.0 / 0.01, 1.0);
    parseWrcDatagram(wrcPacket({.yawDeg = 178.0}), record, state);
    EXPECT_NEAR(record.get(Channel::yaw_speed), -7.0 / 0.01, 1.0) << "and back across the seam";

    parseWrcDatagram(wrcPacket({.pitchDeg = 2.0}), record, state);
    parseWrcDatagram(wrcPacket({.pitchDeg = 6.0}), record, state);
    EXPECT_NEAR(record.get(Channel::pitch_speed), 4.0 / 0.01, 1.0) << "a change of 4 degrees is not folded";
}

TEST(WrcReader, SkipsDatagramsTooShortForItsFields) {
    ReaderHarness h;
    Bytes cut = wrcPacket({.lateralSpeed = 3.0f, .pitchDeg = 10});
    cut.resize(120);
    h.deliver({cut});
    WrcState state;
    EXPECT_EQ(readWrc(h.port, h.context(), state), 0);
    EXPECT_EQ(h.record.get(Channel::lateral_speed), 0.0);

    h.deliver({wrcPacket({.lateralSpeed = 3.0f, .longitudinalAccel = 1.5f, .pitchDeg = 10})});
    ASSERT_EQ(h.readUntilData([&] { return readWrc(h.port, h.context(), state); }), 1);
    EXPECT_EQ(h.record.get(Channel::lateral_speed), 3.0);
    EXPECT_EQ(h.record.get(Channel::longitu_accel), 1.5);
    EXPECT_NEAR(h.record.get(Channel::longitu_accel_g), 1.5 + g * std::sin(10.0 * kDeg), 1e-4);
}

// ---- BeamNG.drive

TEST(BeamNgReader, AccelerationsWithoutGravitySurviveTheSplit) {
    ReaderHarness h;
    h.deliver({beamNgPacket({.velocity = {1, 2, 3},
                             .acceleration = {0.5f * 9.80665f, -2.0f, 3.0f},
                             .roll = radians(5),
                             .pitch = radians(10),
                             .yaw = radians(45),
                             .yawRate = radians(7)})});
    ASSERT_EQ(h.readUntilData([&] { return readBeamNg(h.port, h.context()); }), 1);
    EXPECT_NEAR(h.record.get(Channel::lateral_accel), -0.5 * g, 1e-5);
    EXPECT_NEAR(h.record.get(Channel::longitu_accel), 2.0, 1e-6);
    EXPECT_NEAR(h.record.get(Channel::vertica_accel), -3.0, 1e-6);
    EXPECT_NEAR(h.record.get(Channel::lateral_accel_g),
                -0.5 * g + g * std::cos(10.0 * kDeg) * std::sin(5.0 * kDeg), 1e-5);
    EXPECT_NEAR(h.record.get(Channel::vertica_accel_g),
                -3.0 + g * std::cos(10.0 * kDeg) * std::cos(5.0 * kDeg), 1e-5);
    EXPECT_EQ(h.record.get(Channel::longitu_speed), -2.0);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 10.0, 1e-5);
    EXPECT_NEAR(h.record.get(Channel::yaw_position), -45.0, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::yaw_speed), -7.0, 1e-4);
}

TEST(BeamNgReader, AForeignDatagramEndsTheFillingAndShortOnesAreSkipped) {
    ReaderHarness h;
    Bytes foreign = beamNgPacket({.pitch = radians(30)});
    foreign[3] = '2';
    h.deliver({beamNgPacket({.pitch = radians(1)}), foreign, beamNgPacket({.pitch = radians(2)})});
    ASSERT_EQ(readBeamNg(h.port, h.context()), 1);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 1.0, 1e-5);

    h.deliver({beamNgPacket({.pitch = radians(20)}, 60)});
    ASSERT_EQ(readBeamNg(h.port, h.context()), 1);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 1.0, 1e-5) << "a cut packet is not read past its end";
}

// ---- Live for Speed

TEST(LfsReader, TurnsWorldAccelerationsIntoTheCarsFrame) {
    ReaderHarness h;
    // Heading 0 faces world Y: world X is the car's right, world Y its front.
    h.deliver({lfsPacket({.angularVelocity = {0.1f, 0.2f, 0.3f},
                          .heading = 0.0f,
                          .pitch = radians(10),
                          .roll = radians(-3),
                          .acceleration = {1.0f, 2.0f, 3.0f}})});
    ASSERT_EQ(h.readUntilData([&] { return readLfs(h.port, h.context()); }), 1);
    EXPECT_NEAR(h.record.get(Channel::lateral_accel), 1.0, 1e-6);
    EXPECT_NEAR(h.record.get(Channel::longitu_accel), 2.0, 1e-6) << "the value at 40 is the longitudinal one";
    EXPECT_NEAR(h.record.get(Channel::vertica_accel), 3.0, 1e-6);
    EXPECT_NEAR(h.record.get(Channel::pitch_speed), 0.1 / kDeg, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::roll_speed), 0.2 / kDeg, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::yaw_speed), 0.3 / kDeg, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 10.0, 1e-5);
    EXPECT_NEAR(h.record.get(Channel::roll_position), -3.0, 1e-5);

    // Heading 90 degrees faces world -X: an acceleration toward world +X is braking.
    TelemetryRecord record;
    parseLfsDatagram(lfsPacket({.heading = radians(90), .acceleration = {4.0f, 0.0f, 0.0f}}), record);
    EXPECT_NEAR(record.get(Channel::longitu_accel), -4.0, 1e-5);
    EXPECT_NEAR(record.get(Channel::lateral_accel), 0.0, 1e-5);
    EXPECT_NEAR(record.get(Channel::yaw_position), 90.0, 1e-4);
}

TEST(LfsReader, AShortDatagramWithNothingAfterItStillCountsAsAFrame) {
    ReaderHarness h;
    h.record.set(Channel::pitch_position, 30.0);
    h.deliver({lfsPacket({.pitch = radians(5), .acceleration = {9.0f, 9.0f, 9.0f}}, 279)});
    ASSERT_EQ(h.readUntilData([&] { return readLfs(h.port, h.context()); }), 1);
    EXPECT_EQ(h.record.get(Channel::lateral_accel), 0.0);
    EXPECT_EQ(h.record.get(Channel::pitch_position), 30.0);
    EXPECT_NEAR(h.record.get(Channel::longitu_gravi), g / 2.0, 1e-9) << "the gravity split still runs";

    Bytes untagged = lfsPacket({.acceleration = {5.0f, 0, 0}});
    untagged[0] = 'X';
    h.deliver({untagged, lfsPacket({.acceleration = {0, 6.0f, 0}})});
    ASSERT_EQ(readLfs(h.port, h.context()), 1);
    EXPECT_NEAR(h.record.get(Channel::lateral_accel), 0.0, 1e-6);
    EXPECT_NEAR(h.record.get(Channel::longitu_accel), 6.0, 1e-6);
}

}  // namespace
}  // namespace tarvelmond::test
