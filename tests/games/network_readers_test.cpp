// The network games' readers: fed over real loopback sockets by the game emulator, and the F1 reader on
// packets recorded from the games. Each game's mapping is checked in full, units and signs; the
// end-to-end reads through the thread (NoLimits 2 over its TCP server too) are in tests/engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <tuple>

#include "game_test_support.h"
#include "games/nolimits_link.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using Datagram = std::span<const std::uint8_t>;

Bytes text(const std::string& s) {
    return {s.begin(), s.end()};
}

struct UdpGame {
    const char* game;
    Bytes datagram;
    std::function<int(ReaderHarness&)> read;
    std::vector<Expect> record;
    std::uint32_t onGround = 0;
};

// One game a row: the packet, its reader, and the channels the record then holds.
// clang-format off
std::vector<UdpGame> udpGames() {
    return {
        // 383 has the low byte 127, which reads as the attitude group; group 20 leaves the gear flag.
        {"X-Plane",
         xplanePacket({{383, {10.0f, -5.0f, 30.0f}}, {3, {0, 0, 0, 0, 0, 0, 0, 42.0f}},
                       {66, {1.0f, 2.0f, 3.0f}}, {20, {}}, {135, {0.5f, 98.0665f, 2.0f, 1.0f, 2.0f, 3.0f}}}),
         [](ReaderHarness& h) { return readXplane(h.port, h.context()); },
         {{pitch_position, 10.0}, {roll_position, -5.0}, {yaw_position, -30.0}, {speed, 42.0},
          {fr_lft_susp_pos, 1.0}, {fr_rgt_susp_pos, 1.0}, {re_rgt_susp_pos, 2.0}, {re_lft_susp_pos, 3.0},
          {lateral_accel_g, 0.5}, {longitu_accel_g, -2.0}, {vertica_accel_g, g}, {roll_speed, 1.0},
          {pitch_speed, 2.0}, {yaw_speed, -3.0}, {longitu_gravi, g * std::sin(10 * kDeg)}},
         1},
        {"DiRT Rally 2",  // g-forces in g, angles in radians; the speeds are cleared
         dirtRallyPacket({.lateralG = 0.5f, .longitudinalG = -0.25f, .verticalG = 1.5f,
                          .pitch = radians(10), .pitchRate = radians(1), .pitchAccel = radians(2),
                          .roll = radians(-4), .rollRate = radians(3), .rollAccel = radians(4),
                          .yaw = radians(120), .yawRate = radians(20), .yawAccel = radians(5)}),
         [](ReaderHarness& h) {
             h.record.set(longitu_speed, 12.0);
             return readDirtRally(h.port, h.context(), h.dirtRally);
         },
         {{lateral_accel, -0.5 * g}, {longitu_accel, -0.25 * g}, {vertica_accel, 1.5 * g},
          {pitch_position, 10.0}, {pitch_speed, 1.0}, {pitch_accel, 2.0}, {roll_position, -4.0},
          {roll_speed, 3.0}, {roll_accel, 4.0}, {yaw_position, 30.0}, {yaw_speed, 20.0}, {yaw_accel, 5.0},
          {longitu_speed, 0.0}, {longitu_gravi, -g * std::sin(10 * kDeg)}}},
        {"EA WRC",  // the attitude from the direction vectors (one angle at a time: WrcReader below)
         wrcPacket({.lateralSpeed = 3.0f, .longitudinalSpeed = 25.0f, .verticalSpeed = -0.5f,
                    .lateralAccel = 2.0f, .longitudinalAccel = 1.5f, .verticalAccel = -1.0f,
                    .pitchDeg = 6}),
         [](ReaderHarness& h) { return readWrc(h.port, h.context(), h.wrc); },
         {{lateral_speed, 3.0}, {longitu_speed, 25.0}, {vertica_speed, -0.5}, {lateral_accel, 2.0},
          {longitu_accel, 1.5}, {vertica_accel, -1.0}, {yaw_position, 0.0}, {pitch_position, 6.0},
          {roll_position, 0.0}, {longitu_accel_g, 1.5 + g * std::sin(6 * kDeg)}}},
        {"BeamNG.drive",  // accelerations without gravity, every value turned to the record's axes
         beamNgPacket({.velocity = {1, 2, 3}, .acceleration = {0.5f * 9.80665f, -2.0f, 3.0f},
                       .roll = radians(5), .pitch = radians(10), .yaw = radians(45),
                       .rollRate = radians(3), .pitchRate = radians(4), .yawRate = radians(7),
                       .rollAccel = radians(1), .pitchAccel = radians(2), .yawAccel = radians(6)}),
         [](ReaderHarness& h) { return readBeamNg(h.port, h.context()); },
         {{lateral_speed, -1.0}, {longitu_speed, -2.0}, {vertica_speed, -3.0}, {lateral_accel, -0.5 * g},
          {longitu_accel, 2.0}, {vertica_accel, -3.0}, {roll_position, 5.0}, {pitch_position, 10.0},
          {yaw_position, -45.0}, {roll_speed, 3.0}, {pitch_speed, 4.0}, {yaw_speed, -7.0},
          {roll_accel, 1.0}, {pitch_accel, 2.0}, {yaw_accel, -6.0}}},
        // World axes: heading 90 degrees faces world -X, so the car's right is world +Y.
        {"Live for Speed",
         lfsPacket({.angularVelocity = {0.1f, 0.2f, 0.3f}, .heading = radians(90), .pitch = radians(10),
                    .roll = radians(-3), .acceleration = {1.0f, 2.0f, 3.0f}}),
         [](ReaderHarness& h) { return readLfs(h.port, h.context()); },
         {{lateral_accel, 2.0}, {longitu_accel, -1.0}, {vertica_accel, 3.0}, {pitch_speed, 0.2 / kDeg},
          {roll_speed, -0.1 / kDeg}, {yaw_speed, 0.3 / kDeg}, {pitch_position, 10.0},
          {roll_position, -3.0}, {yaw_position, 90.0}}},
        // Accelerations in g with gravity, speeds, rates and angles in radians, gear loads, time.
        {"DCS",
         dcsLine({0.25, 0.5, 1.0, 3.0, 70.0, -1.0, 0.1, 0.2, 0.3, 0.4, 0.05, 10 * kDeg, 0,
                  0.75, 0, 0.5, 0, 0, 0, 0, 0, 0, 0, 0, 100.5}),
         [](ReaderHarness& h) { return readDcs(h.port, h.context()); },
         {{longitu_accel_g, 0.25 * g}, {lateral_accel_g, 0.5 * g}, {vertica_accel_g, g},
          {lateral_speed, 3.0}, {longitu_speed, 70.0}, {vertica_speed, -1.0}, {yaw_speed, 0.1 / kDeg},
          {roll_speed, 0.2 / kDeg}, {pitch_speed, 0.3 / kDeg}, {yaw_position, 0.4 / kDeg},
          {roll_position, 0.05 / kDeg}, {pitch_position, 10.0}, {fr_lft_susp_pos, 0.75},
          {re_lft_susp_pos, 0.5}, {vertica_accel, g - g * std::cos(10 * kDeg) * std::cos(0.05)},
          {longitu_accel, 0.25 * g - g * std::sin(10 * kDeg)}}},
        {"Condor 2",
         condorText({{"time", "12.5"}, {"pitch", "0.1745329"}, {"bank", "0.0872665"}, {"yaw", "3.14159265"},
                     {"ax", "1.5"}, {"ay", "-2"}, {"az", "0.5"}, {"vx", "1"}, {"vy", "30"}, {"vz", "-3"},
                     {"rollrate", "0.1"}, {"pitchrate", "0.2"}, {"yawrate", "0.3"}}),
         [](ReaderHarness& h) { return readCondor(h.port, h.context(), h.condor); },
         {{pitch_position, 10.0}, {roll_position, -5.0}, {yaw_position, 0.0}, {lateral_accel, 1.5},
          {longitu_accel, -2.0}, {vertica_accel, 0.5}, {lateral_speed, 1.0}, {longitu_speed, 30.0},
          {vertica_speed, -3.0}, {roll_speed, 0.1 / kDeg}, {pitch_speed, 0.2 / kDeg},
          {yaw_speed, 0.3 / kDeg}}},
    };
}
// clang-format on

TEST(UdpGames, EachGamesDatagramIsReadInItsUnitsAndSigns) {
    for (const UdpGame& game : udpGames()) {
        SCOPED_TRACE(game.game);
        ReaderHarness h;
        h.deliver({game.datagram});
        ASSERT_EQ(h.readUntilData([&] { return game.read(h); }), 1);
        expectChannels(h.record, game.record);
        EXPECT_EQ(h.onGround, game.onGround);
    }
}

// Each parser on a copy of exactly the cut length, so that a read past it is out of its allocation.
TEST(UdpGames, ADatagramShortOfItsLayoutIsNotRead) {
    struct Case {
        const char* game;
        Bytes full;
        std::size_t cut;
        std::function<void(Datagram, TelemetryRecord&)> parse;
        Channel channel;
    };
    const Case cases[] = {
        {"X-Plane", xplanePacket({{17, {25.0f}}}), 40,
         [](Datagram d, TelemetryRecord& r) {
             std::uint32_t onGround = 0;
             parseXplaneDatagram(d, r, onGround);
         },
         pitch_position},
        {"DiRT Rally 2", dirtRallyPacket({.pitch = radians(25)}), 95,
         [](Datagram d, TelemetryRecord& r) {
             DirtRallyState state;
             parseDirtRallyDatagram(d, r, state);
         },
         pitch_position},
        // The standard output, nose 25 degrees down, cut before the forward vector's last float.
        {"DiRT Rally 2.0 standard", dirtRallyStandardPacket({.forward = {0, -0.42261826f, 0.90630779f}}), 67,
         [](Datagram d, TelemetryRecord& r) {
             DirtRallyState state;
             parseDirtRallyDatagram(d, r, state);
         },
         pitch_position},
        {"F1", f1MotionPacket(2024, 0, {.pitch = radians(10)}), 1348, parseF1Datagram, pitch_position},
        {"EA WRC", wrcPacket({.lateralSpeed = 3.0f}), 120,
         [](Datagram d, TelemetryRecord& r) {
             WrcState state;
             parseWrcDatagram(d, r, state);
         },
         lateral_speed},
        {"BeamNG.drive", beamNgPacket({.pitch = radians(20)}), 60,
         [](Datagram d, TelemetryRecord& r) { parseBeamNgDatagram(d, r); }, pitch_position},
        {"Live for Speed", lfsPacket({.acceleration = {9.0f, 9.0f, 9.0f}}), 279, parseLfsDatagram,
         lateral_accel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.game);
        TelemetryRecord record;
        c.parse(c.full, record);
        ASSERT_NE(record.get(c.channel), 0.0) << "the whole datagram is read";
        const Bytes cut(c.full.begin(), c.full.begin() + static_cast<std::ptrdiff_t>(c.cut));
        TelemetryRecord untouched;
        c.parse(cut, untouched);
        EXPECT_EQ(untouched.get(c.channel), 0.0);
    }
}

// ---- A game that sends faster than the loop reads leaves no backlog behind the rig

TEST(Backlog, XplaneTakesEveryWaitingDatagramInOrderUpToTheBoundOfOneRead) {
    ReaderHarness h;
    // Two groups: the reader skips datagrams of fewer than two records.
    const auto attitude = [](int pitch) {
        return xplanePacket({{17, {static_cast<float>(pitch)}}, {0, {}}});
    };
    // Five frames of attitude, then the speed in a datagram of its own, as a game may split its groups.
    h.deliver(
        {attitude(1), attitude(2), attitude(3), attitude(4), attitude(5), xplanePacket({{3, {}}, {0, {}}})});
    ASSERT_EQ(readXplane(h.port, h.context()), 1);
    EXPECT_EQ(h.record.get(pitch_position), 5.0);
    EXPECT_EQ(readXplane(h.port, h.context()), 0) << "a stale datagram was left behind";
}

// A flood leaves the rest for the next tick instead of holding the loop, and no reader receives a
// datagram it then throws away: the one after the bound is the next read's.
TEST(Backlog, AFloodBeyondTheBoundOfOneReadIsLeftWholeForTheNext) {
    struct Reader {
        const char* game;
        std::function<Bytes(int)> withPitch;  // degrees
        std::function<int(ReaderHarness&)> read;
    };
    const Reader readers[] = {
        {"X-Plane",
         [](int p) {
             return xplanePacket({{17, {static_cast<float>(p)}}, {0, {}}});
         },
         [](ReaderHarness& h) { return readXplane(h.port, h.context()); }},
        {"DiRT Rally 2", [](int p) { return dirtRallyPacket({.pitch = radians(p)}); },
         [](ReaderHarness& h) { return readDirtRally(h.port, h.context(), h.dirtRally); }},
        {"F1", [](int p) { return f1MotionPacket(2024, 0, {.pitch = radians(p)}); },
         [](ReaderHarness& h) { return readF1(h.port, h.context()); }},
        {"EA WRC",
         [](int p) {
             return wrcPacket(
                 {.pitchDeg = static_cast<double>(p), .totalTime = 0.01f * static_cast<float>(p)});
         },
         [](ReaderHarness& h) { return readWrc(h.port, h.context(), h.wrc); }},
        {"BeamNG.drive", [](int p) { return beamNgPacket({.pitch = radians(p)}); },
         [](ReaderHarness& h) { return readBeamNg(h.port, h.context()); }},
        {"Live for Speed", [](int p) { return lfsPacket({.pitch = radians(p)}); },
         [](ReaderHarness& h) { return readLfs(h.port, h.context()); }},
        {"DCS",
         [](int p) {
             return dcsLine({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, p * kDeg});
         },
         [](ReaderHarness& h) { return readDcs(h.port, h.context()); }},
        {"Condor 2",
         [](int p) {
             return condorText({{"time", "1"},
                                {"pitch", std::to_string(p * kDeg)},
                                {"bank", "0"},
                                {"yaw", "0"},
                                {"ax", "0"}});
         },
         [](ReaderHarness& h) { return readCondor(h.port, h.context(), h.condor); }},
    };
    for (const Reader& reader : readers) {
        SCOPED_TRACE(reader.game);
        ReaderHarness h;
        std::vector<Bytes> flood;
        for (int i = 1; i <= kMostDatagramsPerRead + 1; ++i)
            flood.push_back(reader.withPitch(i));
        h.deliver(flood);
        ASSERT_EQ(reader.read(h), 1);
        EXPECT_NEAR(h.record.get(pitch_position), kMostDatagramsPerRead, 1e-3) << "the last of one read's";
        ASSERT_EQ(reader.read(h), 1) << "the datagram after the bound waits for the next read";
        EXPECT_NEAR(h.record.get(pitch_position), kMostDatagramsPerRead + 1, 1e-3);
        EXPECT_EQ(reader.read(h), 0);
    }
}

TEST(Backlog, WholeFrameGamesReadTheNewestUsableDatagram) {
    ReaderHarness h;
    // A short stray datagram after the newest frame does not hide it.
    h.deliver({dirtRallyPacket({.pitch = radians(1)}), dirtRallyPacket({.pitch = radians(3)}), Bytes{1}});
    ASSERT_EQ(readDirtRally(h.port, h.context(), h.dirtRally), 1);
    EXPECT_NEAR(h.record.get(pitch_position), 3.0, 1e-4);
    EXPECT_EQ(readDirtRally(h.port, h.context(), h.dirtRally), 0);
    h.deliver({Bytes{1}});
    EXPECT_EQ(readDirtRally(h.port, h.context(), h.dirtRally), 0) << "nothing usable waiting";
}

// ---- DiRT Rally 2.0's standard output

// A car on the game's world axes (Y up, right-handed): heading growing to the left from +Z, pitch
// positive nose down, roll positive right side down.
DirtRallyStandard carAt(float stageTime, double headingDeg, double pitchDeg, double rollDeg,
                        std::array<float, 3> velocity = {}) {
    const double h = headingDeg * kDeg, p = pitchDeg * kDeg, r = rollDeg * kDeg;
    // Level forward and right at the heading, then pitch about the right axis, roll about the forward.
    const std::array<double, 3> forward0{std::sin(h), 0, std::cos(h)}, right0{-std::cos(h), 0, std::sin(h)};
    const std::array<double, 3> up0{0, 1, 0};
    std::array<float, 3> forward{}, right{};
    for (std::size_t i = 0; i < 3; ++i) {
        const double pitchedForward = forward0[i] * std::cos(p) - up0[i] * std::sin(p);
        const double pitchedUp = up0[i] * std::cos(p) + forward0[i] * std::sin(p);
        forward[i] = static_cast<float>(pitchedForward);
        right[i] = static_cast<float>(right0[i] * std::cos(r) - pitchedUp * std::sin(r));
    }
    return {.stageTime = stageTime, .velocity = velocity, .right = right, .forward = forward};
}

TEST(DirtRallyStandard, AnglesFromTheVectorsRatesFromTheirChangeOverTheStageTime) {
    ReaderHarness h;
    const auto read = [&](const DirtRallyStandard& car) {
        h.deliver({dirtRallyStandardPacket(car)});
        return h.readUntilData([&] { return readDirtRally(h.port, h.context(), h.dirtRally); });
    };
    DirtRallyStandard first = carAt(10.0f, 179.5, 2.0, -1.0, {0.0f, 0.0f, -20.0f});
    first.lateralG = 0.5f;
    ASSERT_EQ(read(first), 1);
    expectChannels(h.record,
                   {{yaw_position, 179.5},
                    {pitch_position, 2.0},
                    {roll_position, -1.0},
                    {yaw_speed, 0.0},
                    {lateral_accel, -0.5 * g}},
                   1e-3);
    // 1/60 s later across the heading's seam, and a little more nose down, rising at 0.5 m/s.
    DirtRallyStandard second = carAt(10.0f + 1.0f / 60, -179.5, 2.5, -1.0, {0.0f, 0.5f, -20.0f});
    second.longitudinalG = -0.25f;
    ASSERT_EQ(read(second), 1);
    expectChannels(h.record,
                   {{yaw_position, -179.5},
                    {yaw_speed, 60.0},
                    {pitch_speed, 30.0},
                    {roll_speed, 0.0},
                    {longitu_accel, -0.25 * g}},
                   0.05);
    // The speeds on the car's axes: the world velocity against its forward and right vectors.
    double forwardSpeed = 0, rightSpeed = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        forwardSpeed += second.velocity[i] * second.forward[i];
        rightSpeed += second.velocity[i] * second.right[i];
    }
    EXPECT_NEAR(h.record.get(longitu_speed), forwardSpeed, 1e-4);
    EXPECT_NEAR(h.record.get(lateral_speed), rightSpeed, 1e-4);
    // Rising by 0.5 m/s in 1/60 s, nearly level.
    EXPECT_NEAR(h.record.get(vertica_accel), 30.0, 0.5);
    EXPECT_TRUE(std::isfinite(h.record.get(vertica_accel_g)));

    // A loading screen's zero vectors hold no attitude: the angles stay, and the next attitude is not
    // turned into a rate across the gap. Neither is one after a jump in the stage time.
    ASSERT_EQ(read({.stageTime = 10.05f, .right = {}, .forward = {}}), 1);
    EXPECT_NEAR(h.record.get(yaw_position), -179.5, 1e-3);
    ASSERT_EQ(read(carAt(10.0667f, 150.0, 0.0, 0.0)), 1);
    expectChannels(h.record, {{yaw_position, 150.0}, {yaw_speed, 0.0}, {pitch_speed, 0.0}}, 1e-3);
    ASSERT_EQ(read(carAt(11.5f, 120.0, 0.0, 0.0)), 1);
    expectChannels(h.record, {{yaw_position, 120.0}, {yaw_speed, 0.0}}, 1e-3);

    // The 96-byte packet on the same port is still read as it was.
    h.deliver({dirtRallyPacket({.pitch = radians(7)})});
    ASSERT_EQ(h.readUntilData([&] { return readDirtRally(h.port, h.context(), h.dirtRally); }), 1);
    expectChannels(h.record, {{pitch_position, 7.0}, {longitu_speed, 0.0}});
}

// ---- F1 23 / F1 24 / F1 25

TEST(F1Reader, DecodesThePlayersCarOfPacketsRecordedFromBothGames) {
    // Decoded here from the game's published layout: the player's record (byte 27 names the car;
    // byte 28 is 255, no second player) at 29 + 60 * car, g-forces at 36, 40, 44 and yaw, pitch, roll
    // at 48, 52, 56; motion-ex angular velocity X, Y, Z at 173, 177, 181 (local axes: X left, Y up,
    // Z forward, so pitch, yaw, roll).
    for (const char* year : {"2023", "2024"}) {
        SCOPED_TRACE(year);
        const Bytes motion = readCapture(std::string("f1/f1_") + year + "_packet-0.bin");
        ASSERT_EQ(motion.size(), 1349U);
        ASSERT_EQ(motion[28], 255);
        const std::size_t car = 29 + 60 * std::size_t{motion[27]};
        const auto at = [&](std::size_t offset) { return capturedFloat(motion, car + offset); };
        TelemetryRecord record;
        parseF1Datagram(motion, record);
        expectChannels(record, {{lateral_accel_g, -at(36) * g},
                                {longitu_accel_g, at(40) * g},
                                {vertica_accel_g, -at(44) * g},
                                {yaw_position, at(48) / kDeg},
                                {pitch_position, at(52) / kDeg},
                                {roll_position, at(56) / kDeg}});

        const Bytes motionEx = readCapture(std::string("f1/f1_") + year + "_packet-13.bin");
        ASSERT_EQ(motionEx.size(), std::string(year) == "2023" ? 217U : 237U);
        parseF1Datagram(motionEx, record);
        expectChannels(record, {{pitch_speed, capturedFloat(motionEx, 173) / kDeg},
                                {yaw_speed, capturedFloat(motionEx, 177) / kDeg},
                                {roll_speed, capturedFloat(motionEx, 181) / kDeg}});
    }

    Bytes packet = readCapture("f1/f1_2023_packet-0.bin");
    ASSERT_EQ(packet.size(), 1349U);
    ASSERT_EQ(packet[27], 0);
    packet[27] = 1;  // the same race seen from car 1
    TelemetryRecord record;
    parseF1Datagram(packet, record);
    expectChannels(record, {{yaw_position, capturedFloat(packet, 89 + 48) / kDeg},
                            {roll_position, capturedFloat(packet, 89 + 56) / kDeg}});

    TelemetryRecord untouched;  // an older format, and a player's car that does not exist
    parseF1Datagram(f1MotionPacket(2022, 0, {.pitch = radians(10)}), untouched);
    parseF1Datagram(f1MotionPacket(2024, 30, {.pitch = radians(10)}), untouched);
    EXPECT_EQ(untouched.gameData, TelemetryRecord{}.gameData);
}

TEST(F1Reader, KeepsOnlyTheNewestOfTheWaitingPacketsAndTimesEveryCall) {
    ReaderHarness h;
    sleepFor(5ms);
    EXPECT_EQ(readF1(h.port, h.context()), 0);
    EXPECT_GE(h.record.frameTimeMs, 5.0) << "the timer runs on calls without data too, in milliseconds";

    h.deliver({f1MotionPacket(2023, 0, {.pitch = radians(1)}), f1MotionPacket(2023, 0, {.pitch = radians(2)}),
               f1MotionExPacket(2023, 0.0f, radians(30), 0.0f),
               f1MotionPacket(2024, 0, {.pitch = radians(3)})});
    ASSERT_EQ(readF1(h.port, h.context()), 1);
    expectChannels(h.record, {{pitch_position, 3.0}, {yaw_speed, 30.0}});
    EXPECT_EQ(readF1(h.port, h.context()), 0) << "all were taken by the first call";
}

TEST(F1Reader, ReadsF1TwentyFiveAndEachFormatsMotionExOnlyAtItsOwnLength) {
    ReaderHarness h;
    h.deliver({f1MotionPacket(2025, 3, {.lateralG = 0.5f, .pitch = radians(4)}, {.pitch = radians(-9)}),
               f1MotionExPacket(2025, radians(2), radians(12), radians(-5))});
    ASSERT_EQ(h.readUntilData([&] { return readF1(h.port, h.context()); }), 1);
    expectChannels(h.record, {{pitch_position, 4.0},
                              {lateral_accel_g, -0.5 * g},
                              {pitch_speed, 2.0},
                              {yaw_speed, 12.0},
                              {roll_speed, -5.0}});

    // A motion-ex packet whose length belongs to another year is not that year's packet.
    for (const auto& [format, lengthOf] :
         {std::pair<std::uint16_t, std::uint16_t>{2025, 2024}, {2025, 2023}, {2024, 2025}, {2023, 2024}}) {
        Bytes packet = f1MotionExPacket(lengthOf, 0.0f, 0.0f, radians(-40));
        packet[0] = static_cast<std::uint8_t>(format & 0xff);
        packet[1] = static_cast<std::uint8_t>(format >> 8);
        TelemetryRecord untouched;
        parseF1Datagram(packet, untouched);
        EXPECT_EQ(untouched.gameData, TelemetryRecord{}.gameData)
            << format << " at the length of " << lengthOf;
    }
}

// ---- EA WRC

// The game's fields placed by hand at their published offsets: the car heads along the world's X axis
// (to the world's left), its nose 10 degrees up; the world velocity and acceleration point along that
// heading, so all of them are the car's forward motion and nothing is lateral or vertical.
TEST(WrcReader, TurnsTheWorldVectorsOntoTheCarsAxes) {
    Bytes packet(237);
    const auto putVector = [&](std::size_t offset, double x, double y, double z) {
        for (const double v : {x, y, z}) {
            const auto f = static_cast<float>(v);
            std::memcpy(packet.data() + offset, &f, sizeof f);
            offset += sizeof f;
        }
    };
    const double c = std::cos(10 * kDeg), s = std::sin(10 * kDeg);
    putVector(61, 20 * c, 20 * s, 0);  // vehicle_velocity
    putVector(73, 3 * c, 3 * s, 0);    // vehicle_acceleration
    putVector(85, 0, 0, -1);           // vehicle_left_direction: the world's -Z
    putVector(97, c, s, 0);            // vehicle_forward_direction
    putVector(109, -s, c, 0);          // vehicle_up_direction
    TelemetryRecord record;
    WrcState state;
    parseWrcDatagram(packet, record, state);
    expectChannels(record,
                   {{longitu_speed, 20.0},
                    {lateral_speed, 0.0},
                    {vertica_speed, 0.0},
                    {longitu_accel, 3.0},
                    {lateral_accel, 0.0},
                    {vertica_accel, 0.0},
                    {yaw_position, 90.0},
                    {pitch_position, 10.0},
                    {roll_position, 0.0}},
                   1e-4);

    SCOPED_TRACE("the same fields behind the four-character packet tag of a user's layout");
    Bytes tagged = {'s', 'e', 's', 'u'};
    tagged.insert(tagged.end(), packet.begin(), packet.end());
    TelemetryRecord fromTagged;
    WrcState taggedState;
    parseWrcDatagram(tagged, fromTagged, taggedState);
    EXPECT_EQ(fromTagged.gameData, record.gameData);
}

// Any attitude: the angles come back from the vectors, the car-axis motion from the world vectors, and
// the rates from the change over the game's own clock, folded across the heading's seam.
TEST(WrcReader, TakesAnglesFromTheVectorsAndRatesOverTheGamesClock) {
    TelemetryRecord record;
    WrcState state;
    float clock = 100.0f;
    const auto next = [&](WrcMotion m, float step = 0.01f) {
        clock += step;
        m.totalTime = clock;
        parseWrcDatagram(wrcPacket(m), record, state);
    };
    for (const auto& [yaw, pitch, roll] :
         {std::tuple{-120.0, 8.0, 0.0}, {30.0, -5.0, 12.0}, {160.0, 20.0, -12.0}, {0.0, 0.0, 5.0}}) {
        next({.lateralSpeed = 2.0f,
              .longitudinalSpeed = 25.0f,
              .verticalSpeed = -1.0f,
              .lateralAccel = 4.0f,
              .longitudinalAccel = -3.0f,
              .verticalAccel = 0.5f,
              .yawDeg = yaw,
              .pitchDeg = pitch,
              .rollDeg = roll});
        expectChannels(record,
                       {{yaw_position, yaw},
                        {pitch_position, pitch},
                        {roll_position, roll},
                        {lateral_speed, 2.0},
                        {longitu_speed, 25.0},
                        {vertica_speed, -1.0},
                        {lateral_accel, 4.0},
                        {longitu_accel, -3.0},
                        {vertica_accel, 0.5}},
                       1e-3);
    }
    next({.yawDeg = 179.0});
    next({.yawDeg = -179.0}, 0.02f);
    EXPECT_NEAR(record.get(yaw_speed), 2.0 / 0.02, 0.1) << "179 to -179 is 2 degrees on, the short way";
    next({.yawDeg = -179.0, .pitchDeg = 1.0}, 0.0f);
    EXPECT_EQ(record.get(pitch_position), 0.0) << "a packet of the same game time is the same frame";
    next({.yawDeg = 178.0, .pitchDeg = -2.0}, 0.01f);
    expectChannels(record, {{yaw_speed, -3.0 / 0.01}, {pitch_speed, -2.0 / 0.01}}, 1.0);
    next({.yawDeg = 170.0}, 0.5f);
    expectChannels(record, {{yaw_position, 170.0}, {yaw_speed, 0.0}, {pitch_speed, 0.0}}, 1e-3);
}

// Loading screens send zero direction vectors; broken or absurd ones (not a number, infinite, far from
// unit length) mean no attitude either. Such a datagram leaves the record as it was (the world vectors
// cannot be put on the car's axes without one), and the next attitude is not turned into a rate across
// the gap.
TEST(WrcReader, ADatagramWithoutUsableDirectionsLeavesTheRecord) {
    TelemetryRecord record;
    WrcState state;
    parseWrcDatagram(wrcPacket({.yawDeg = 30.0, .totalTime = 1.0f}), record, state);
    parseWrcDatagram(wrcPacket({.lateralSpeed = 7.0f, .yawDeg = 31.0, .totalTime = 1.01f}), record, state);
    const TelemetryRecord before = record;
    expectChannels(record, {{yaw_position, 31.0}, {yaw_speed, 100.0}, {lateral_speed, 7.0}}, 0.05);

    const auto withVector = [](std::size_t offset, float x, float y, float z) {
        Bytes bytes = wrcPacket({.lateralSpeed = 9.0f, .yawDeg = 90.0, .totalTime = 1.02f});
        for (const float v : {x, y, z}) {
            std::memcpy(bytes.data() + offset, &v, sizeof v);
            offset += sizeof v;
        }
        return bytes;
    };
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kHuge = 3e38f;
    Bytes loading = wrcPacket({.lateralSpeed = 9.0f, .totalTime = 1.02f});
    std::fill(loading.begin() + 85, loading.begin() + 121, 0);
    const std::vector<Bytes> degenerate = {loading,
                                           withVector(109, 0, 0, 0),
                                           withVector(85, kNaN, 1, 0),
                                           withVector(97, kInf, 0, 0),
                                           withVector(109, kHuge, kHuge, 0),
                                           withVector(85, -kInf, kNaN, 0),
                                           withVector(8, kNaN, 0, 0)};
    for (std::size_t i = 0; i < degenerate.size(); ++i) {
        parseWrcDatagram(degenerate[i], record, state);
        EXPECT_EQ(record.gameData, before.gameData) << "case " << i;
    }
    parseWrcDatagram(wrcPacket({.yawDeg = 90.0, .totalTime = 1.03f}), record, state);
    SCOPED_TRACE("no rate across the gap");
    expectChannels(record, {{yaw_position, 90.0}, {yaw_speed, 0.0}}, 0.05);
    parseWrcDatagram(wrcPacket({.yawDeg = 89.0, .totalTime = 1.04f}), record, state);
    expectChannels(record, {{yaw_position, 89.0}, {yaw_speed, -100.0}}, 0.5);
}

// ---- DCS

TEST(DcsReader, ShortTokensZeroTheRestAndTokensThatAreNoFiniteNumbersAreSkipped) {
    TelemetryRecord record;
    record.set(lateral_speed, 9.0);
    parseDcsDatagram(text("0.500000 0.500000 0.5 1.000000 2.000000\n"), record);
    expectChannels(record, {{longitu_accel_g, 0.5 * g}, {lateral_accel_g, 0.5 * g}});
    EXPECT_EQ(record.get(vertica_accel_g), 0.0) << "0.5 has fewer than six characters";
    EXPECT_EQ(record.get(lateral_speed), 0.0) << "nothing was consumed, so the rest reads 0";

    record.set(longitu_accel_g, 3.0);
    record.set(lateral_accel_g, 4.0);
    record.set(vertica_accel_g, 5.0);
    record.setSimTimePrev(7.0);
    std::string line = "abcdefg nan000 1e9999 2.000000";
    for (int i = 4; i < 25; ++i)
        line += " garbage";
    parseDcsDatagram(text(line + " \n"), record);
    expectChannels(
        record,
        {{longitu_accel_g, 3.0}, {lateral_accel_g, 4.0}, {vertica_accel_g, 5.0}, {lateral_speed, 2.0}});
    EXPECT_EQ(record.simTimePrev, 7.0);

    line = "0.000000";  // the simulation time (the 25th number) gives the step
    for (int i = 1; i < 25; ++i)
        line += i < 24 ? " 0.000000" : " 7.500000";
    parseDcsDatagram(text(line + "\n"), record);
    EXPECT_NEAR(record.simStepMs, 500.0, 1e-9);
    EXPECT_EQ(record.simTimePrev, 7.5);

    // Text without a line end, or nothing but digits, stops at its own end.
    parseDcsDatagram(text("1234567"), record);
    parseDcsDatagram(text(std::string(8192, '9')), record);
    parseDcsDatagram(text(""), record);
}

// ---- Condor 2

TEST(CondorReader, KeysKeepTheirLastValueAndNoNaNReachesTheRecord) {
    ReaderHarness h;
    h.deliver({condorText({{"pitch", "1"}})});
    EXPECT_EQ(readCondor(h.port, h.context(), h.condor), 0) << "shorter than 42 bytes";
    EXPECT_EQ(h.record.get(pitch_position), 0.0);

    h.deliver({condorText({{"ax", "1.5"}, {"flaps", "2.7"}, {"hudmessages", "thermal ahead"}})});
    ASSERT_EQ(h.readUntilData([&] { return readCondor(h.port, h.context(), h.condor); }), 1);
    h.deliver({condorText({{"pitch", "0.0872665"}, {"unknownkey", "5"}, {"no equals sign here", ""}})});
    ASSERT_EQ(h.readUntilData([&] { return readCondor(h.port, h.context(), h.condor); }), 1);
    expectChannels(h.record, {{pitch_position, 5.0}, {lateral_accel, 1.5}});
    EXPECT_EQ(h.condor.flaps, 2);
    EXPECT_EQ(std::string(h.condor.hudMessages.data(), h.condor.hudLength), "thermal ahead")
        << "the line's CR is not part of it";

    // No zero byte anywhere and a value running to the very end; a huge hud text is cut.
    parseCondorDatagram(text("ay=1.25\nhudmessages=" + std::string(5000, 'x') + "\naz=2.5"), h.condor);
    EXPECT_EQ(h.condor.hudLength, CondorState::kHudCapacity);
    parseCondorDatagram(text("flaps=nan\nflaps=1e30\nax=nan"), h.condor);
    EXPECT_EQ(h.condor.flaps, 2) << "a flap value no integer holds leaves the setting";
    fillCondorRecord(h.condor, h.record);
    expectChannels(h.record, {{lateral_accel, 1.5}, {longitu_accel, 1.25}, {vertica_accel, 2.5}});
}

TEST(CondorReader, MatchesKeysWhateverTheirCase) {
    // Condor writes "MC" in upper case; other senders of its text capitalise the rest.
    ReaderHarness h;
    h.deliver({condorText({{"MC", "1.5"},
                           {"Pitch", "0.0872665"},
                           {"BANK", "-0.1745329"},
                           {"Ax", "2.5"},
                           {"FLAPS", "3"},
                           {"HudMessages", "gear"}})});
    ASSERT_EQ(h.readUntilData([&] { return readCondor(h.port, h.context(), h.condor); }), 1);
    expectChannels(h.record, {{pitch_position, 5.0}, {roll_position, 10.0}, {lateral_accel, 2.5}});
    const auto& keys = condorFloatKeys();
    const auto mc =
        std::find_if(keys.begin(), keys.end(), [](const char* key) { return std::string(key) == "mc"; });
    ASSERT_NE(mc, keys.end());
    EXPECT_EQ(h.condor.values[static_cast<std::size_t>(mc - keys.begin())], 1.5f);
    EXPECT_EQ(h.condor.flaps, 3);
    EXPECT_EQ(std::string(h.condor.hudMessages.data(), h.condor.hudLength), "gear");
}

// ---- NoLimits 2

// Rates and velocities come out of filters fed reply by reply.
int applyReply(NoLimitsState& state, TelemetryRecord& record, const NoLimitsTelemetry& telemetry) {
    const Bytes message = noLimitsTelemetryReply(1, telemetry);
    std::size_t consumed = 0;
    return applyNoLimitsTelemetry(newestNoLimitsTelemetry(message, consumed), state, record);
}

TEST(NoLimitsTelemetry, ReadsTheRideInItsUnitsAndRatesFollowSmallTurnsButHoldOverLargeJumps) {
    NoLimitsState state;
    TelemetryRecord record;
    record.frameTimeMs = 10.0;
    {
        NoLimitsState ride;
        TelemetryRecord mapped;
        const double half = 10.0 * kDeg / 2.0;  // pitched up 10 degrees about X
        ASSERT_EQ(applyReply(ride, mapped,
                             {.frame = 1,
                              .speed = 22.0f,
                              .qx = static_cast<float>(std::sin(half)),
                              .qw = static_cast<float>(std::cos(half)),
                              .gx = -0.5f,
                              .gy = 1.0f,
                              .gz = 0.1f}),
                  1);
        expectChannels(mapped, {{pitch_position, 10.0},
                                {roll_position, 0.0},
                                {yaw_position, 0.0},
                                {speed, 22.0},
                                {lateral_accel_g, 0.5 * g},
                                {vertica_accel_g, g},
                                {longitu_accel_g, 0.1 * g}});
        EXPECT_EQ(applyReply(ride, mapped, {.state = 0, .frame = 2}), 0) << "state 0: not riding";
    }
    auto turnedTo = [&](int frame, double yawDeg) {
        const double half = yawDeg * kDeg / 2.0;  // about the Z axis
        return applyReply(state, record,
                          {.frame = frame,
                           .qz = static_cast<float>(std::sin(half)),
                           .qw = static_cast<float>(std::cos(half))});
    };
    ASSERT_EQ(turnedTo(1, 0.0), 1);
    ASSERT_EQ(turnedTo(2, 1.0), 1);  // 1 degree in one 10 ms step: about 100 degrees a second
    const double rate = record.get(yaw_speed);
    EXPECT_NEAR(rate, 100.0, 5.0);
    ASSERT_EQ(turnedTo(3, 91.0), 1);  // 90 degrees at once: the filtered rate stands
    EXPECT_EQ(record.get(yaw_speed), rate);
    EXPECT_EQ(turnedTo(3, 92.0), 0) << "same frame number";
}

TEST(NoLimitsTelemetry, RepliesSplitOrBatchedOrBrokenAreFramedSafely) {
    const Bytes a = noLimitsTelemetryReply(1, {.frame = 1, .speed = 1.0f});
    const Bytes b = noLimitsTelemetryReply(2, {.frame = 2, .speed = 2.0f});
    Bytes stream = text("garbage");
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.begin() + 40);  // b is still arriving
    std::size_t consumed = 0;
    auto newest = newestNoLimitsTelemetry(stream, consumed);
    ASSERT_EQ(newest.size(), kNoLimitsTelemetrySize);
    EXPECT_EQ(consumed, 7 + a.size()) << "the incomplete reply stays for the next call";
    stream.insert(stream.end(), b.begin() + 40, b.end());
    newest = newestNoLimitsTelemetry(stream, consumed);
    NoLimitsState state;
    TelemetryRecord record;
    ASSERT_EQ(applyNoLimitsTelemetry(newest, state, record), 1);
    EXPECT_EQ(record.get(speed), 2.0) << "the newest complete reply wins";

    EXPECT_EQ(applyReply(state, record, {.frame = 3, .qx = std::nanf(""), .qw = 1.0f}), 0);
    EXPECT_EQ(applyReply(state, record, {.frame = 4, .qw = 0.0f}), 0);
    EXPECT_EQ(applyReply(state, record, {.frame = 5, .gz = std::nanf("")}), 0);
    for (double rate : state.filteredRate)
        EXPECT_TRUE(std::isfinite(rate));
}

}  // namespace
}  // namespace tarvelmond::test
