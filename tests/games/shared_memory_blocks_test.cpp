// The shared-memory readers' decoding, on blocks built by the game emulator in this process and on a
// dump of a live iRacing block: layouts, units and signs, the new-data tests, the RaceRoom versions,
// the iRacing header checks, and the rFactor 2 orientation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "game_blocks.h"
#include "games/shared_memory_readers.h"
#include "games/telemetry_record.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
constexpr double g = 9.80665;
constexpr double kDeg = std::numbers::pi / 180.0;

using Block = std::vector<std::uint8_t>;

// Every channel of the record, for "nothing changed" checks.
void expectSameRecord(const TelemetryRecord& a, const TelemetryRecord& b) {
    for (int i = 0; i < kGameDataSlots; ++i)
        EXPECT_EQ(a.gameData[static_cast<std::size_t>(i)], b.gameData[static_cast<std::size_t>(i)]) << i;
}

// ---- Assetto Corsa

TEST(AssettoCorsaPhysics, ReadsANewPacketInTheGamesUnitsAndSkipsARepeatedOne) {
    Block block(kAcPhysicsBytes);
    writeAcPhysics(block, {.packetId = 17,
                           .accG = {0.5f, 0.25f, -0.75f},
                           .heading = 0.5f,
                           .pitch = 0.1f,
                           .roll = -0.2f,
                           .localAngularVel = {0.3f, -0.4f, 0.2f},
                           .localVelocity = {1.0f, -2.0f, 30.0f}});
    TelemetryRecord record;
    std::uint32_t lastPacket = 0;
    ASSERT_EQ(parseAssettoCorsaPhysics(block, lastPacket, record), 1);
    EXPECT_EQ(lastPacket, 17U);
    EXPECT_NEAR(record.get(Channel::lateral_accel), 0.5 * 9.81, 1e-6) << "the game's own g";
    EXPECT_NEAR(record.get(Channel::vertica_accel), -0.25 * 9.81, 1e-6);
    EXPECT_NEAR(record.get(Channel::longitu_accel), -0.75 * 9.81, 1e-6);
    EXPECT_NEAR(record.get(Channel::lateral_speed), 1.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::vertica_speed), -2.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::longitu_speed), 30.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::pitch_speed), 0.3 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::yaw_speed), -0.4 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_speed), 0.2 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::yaw_position), -0.5 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::pitch_position), 0.1 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_position), 0.2 / kDeg, 1e-4);

    const TelemetryRecord before = record;
    writeAcPhysics(block, {.packetId = 17, .accG = {2.0f, 2.0f, 2.0f}});
    EXPECT_EQ(parseAssettoCorsaPhysics(block, lastPacket, record), 0) << "the same packet number";
    expectSameRecord(record, before);

    const Block shortBlock(block.begin(), block.begin() + 500);
    EXPECT_EQ(parseAssettoCorsaPhysics(shortBlock, lastPacket, record), 0) << "a view short of the layout";
}

// ---- RaceRoom

struct R3eVersion {
    std::int32_t major, minor;
};

R3eBlock r3eDriving(R3eVersion version) {
    return {.versionMajor = version.major,
            .versionMinor = version.minor,
            .localVelocity = {1.5, -0.5, -22.0},
            .localAcceleration = {-3.0, 0.25, 4.0},
            .orientation = {0.05, 1.2, -0.08},
            .angularAcceleration = {0.4, -0.6, 0.8},
            .angularVelocity = {0.1, 0.3, -0.2}};
}

TEST(RaceRoomBlock, EveryKnownVersionIsReadInItsOwnLayout) {
    // 2.x to 3.2 keep the player's data at 36, 3.3 moved it to 40, 3.4 added a field inside it.
    for (R3eVersion version : {R3eVersion{2, 8}, R3eVersion{3, 0}, R3eVersion{3, 2}, R3eVersion{3, 3},
                               R3eVersion{3, 4}, R3eVersion{3, 7}}) {
        SCOPED_TRACE(std::to_string(version.major) + "." + std::to_string(version.minor));
        Block block(kR3eBytes);
        writeR3e(block, r3eDriving(version));
        ASSERT_EQ(raceRoomState(block), RaceRoomState::Driving);
        std::array<std::uint8_t, RaceRoomSlot::kCopySize> copy{};
        TelemetryRecord record;
        fillRaceRoomRecord(block, copy, record);
        EXPECT_DOUBLE_EQ(record.get(Channel::lateral_speed), -1.5);
        EXPECT_DOUBLE_EQ(record.get(Channel::vertica_speed), -0.5);
        EXPECT_DOUBLE_EQ(record.get(Channel::longitu_speed), 22.0);
        EXPECT_DOUBLE_EQ(record.get(Channel::lateral_accel), 3.0);
        EXPECT_DOUBLE_EQ(record.get(Channel::vertica_accel), 0.25);
        EXPECT_DOUBLE_EQ(record.get(Channel::longitu_accel), -4.0);
        EXPECT_NEAR(record.get(Channel::pitch_position), 0.05 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::yaw_position), -1.2 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::roll_position), -0.08 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::pitch_speed), 0.1 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::yaw_speed), -0.3 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::roll_speed), -0.2 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::pitch_accel), 0.4 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::yaw_accel), 0.6 / kDeg, 1e-9);
        EXPECT_NEAR(record.get(Channel::roll_accel), 0.8 / kDeg, 1e-9);
    }
}

TEST(RaceRoomBlock, AnUnknownVersionOrAStateOtherThanDrivingGivesNoData) {
    for (R3eVersion version : {R3eVersion{0, 0}, R3eVersion{1, 9}, R3eVersion{4, 0}, R3eVersion{3, -1}}) {
        Block block(kR3eBytes);
        writeR3e(block, r3eDriving(version));
        EXPECT_EQ(raceRoomState(block), RaceRoomState::UnknownVersion)
            << version.major << "." << version.minor;
    }
    Block block(kR3eBytes);
    R3eBlock r3e = r3eDriving({3, 4});
    r3e.gamePaused = 1;
    writeR3e(block, r3e);
    EXPECT_EQ(raceRoomState(block), RaceRoomState::Paused);
    r3e.gamePaused = 0;
    r3e.gameInMenus = 1;
    writeR3e(block, r3e);
    EXPECT_EQ(raceRoomState(block), RaceRoomState::NotDriving);
    r3e.gameInMenus = 0;
    r3e.gameInReplay = 1;
    writeR3e(block, r3e);
    EXPECT_EQ(raceRoomState(block), RaceRoomState::NotDriving);
    block.resize(300);
    EXPECT_EQ(raceRoomState(block), RaceRoomState::TooShort);
}

// ---- Project CARS 2 / Automobilista 2

TEST(Pcars2Block, ReadsWhileTheGameStateIsPlaying) {
    Block block(kPcars2Bytes);
    writePcars2(block, {.orientation = {0.3f, -0.1f, 0.05f},
                        .localVelocity = {0.5f, 0.1f, 25.0f},
                        .angularVelocity = {0.2f, 0.15f, -0.05f},
                        .localAcceleration = {2.0f, -0.5f, 1.5f}});
    ASSERT_TRUE(pcars2Playing(block));
    TelemetryRecord record;
    fillPcars2Record(block, record);
    EXPECT_NEAR(record.get(Channel::yaw_position), -0.3 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_position), -0.1 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::pitch_position), 0.05 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::lateral_speed), 0.5, 1e-6);
    EXPECT_NEAR(record.get(Channel::longitu_speed), 0.1, 1e-6);
    EXPECT_NEAR(record.get(Channel::vertica_speed), 25.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::yaw_speed), -0.2 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_speed), 0.15 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::pitch_speed), -0.05 / kDeg, 1e-4);
    EXPECT_NEAR(record.get(Channel::lateral_accel), 2.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::longitu_accel), -0.5, 1e-6);
    EXPECT_NEAR(record.get(Channel::vertica_accel), 1.5, 1e-6);

    for (std::uint32_t state : {0U, 1U, 3U}) {
        writePcars2(block, {.gameState = state});
        EXPECT_FALSE(pcars2Playing(block)) << state;
    }
    writePcars2(block, {});
    block.resize(6960);
    EXPECT_FALSE(pcars2Playing(block)) << "a view short of the motion fields";
}

// ---- iRacing

struct IRacingBlock {
    explicit IRacingBlock(std::uint32_t missing = 0) : writer(missing) { writer.writeHeader(bytes, 1); }

    Block bytes = Block(kIRacingBytes);
    IRacingBlockWriter writer;
    std::int32_t lastTick = kNoTickSeen;
    std::array<std::uint8_t, IRacingSlot::kScratchSize> scratch{};
    TelemetryRecord record;

    IRacingFrame read() { return parseIRacingBlock(bytes, lastTick, scratch, record); }
};

// A car on a slope, turning: the nine values as the game reports them.
IRacingValues turningOnASlope() {
    IRacingValues v{};
    v[kLatAccel] = 3.0f;
    v[kLongAccel] = -1.5f;
    v[kVertAccel] = 9.5f;
    v[kYawRate] = 0.25f;
    v[kRollRate] = -0.05f;
    v[kPitchRate] = 0.02f;
    v[kYaw] = 1.0f;
    v[kRoll] = 0.04f;
    v[kPitch] = -0.06f;
    return v;
}

TEST(IRacingBlock, ReadsTheNewestBufferOnceItsTickRises) {
    IRacingBlock block;
    block.writer.writeFrame(block.bytes, 10, {});
    block.writer.writeFrame(block.bytes, 11, turningOnASlope());
    EXPECT_EQ(block.read(), IRacingFrame::Unchanged) << "the first tick seen is only adopted";
    EXPECT_EQ(block.lastTick, 11);
    block.writer.writeFrame(block.bytes, 12, turningOnASlope());
    ASSERT_EQ(block.read(), IRacingFrame::NewFrame);
    EXPECT_EQ(block.lastTick, 12);
    const TelemetryRecord& r = block.record;
    EXPECT_NEAR(r.get(Channel::lateral_accel_g), -3.0, 1e-6);
    EXPECT_NEAR(r.get(Channel::longitu_accel_g), -1.5, 1e-6);
    EXPECT_NEAR(r.get(Channel::vertica_accel_g), 9.5, 1e-6);
    EXPECT_NEAR(r.get(Channel::yaw_speed), 0.25, 1e-7) << "rates stay in rad/s";
    EXPECT_NEAR(r.get(Channel::roll_speed), -0.05, 1e-7);
    EXPECT_NEAR(r.get(Channel::pitch_speed), 0.02, 1e-7);
    EXPECT_NEAR(r.get(Channel::yaw_position), 1.0 / kDeg, 1e-4);
    EXPECT_NEAR(r.get(Channel::roll_position), 0.04 / kDeg, 1e-5);
    EXPECT_NEAR(r.get(Channel::pitch_position), 0.06 / kDeg, 1e-5);
    // With gravity: the acceleration without it is what is left after the attitude's share.
    const double roll = 0.04, pitch = 0.06;
    EXPECT_NEAR(r.get(Channel::vertica_accel), 9.5 - g * std::cos(pitch) * std::cos(roll), 1e-5);
    EXPECT_NEAR(r.get(Channel::lateral_accel), -3.0 - g * std::cos(pitch) * std::sin(roll), 1e-5);
    EXPECT_NEAR(r.get(Channel::longitu_accel), -1.5 - g * std::sin(pitch), 1e-5);

    const TelemetryRecord before = block.record;
    EXPECT_EQ(block.read(), IRacingFrame::Unchanged) << "same tick";
    expectSameRecord(block.record, before);
}

TEST(IRacingBlock, ATickThatWentBackIsAdoptedAndTheNextHigherOneRead) {
    IRacingBlock block;
    for (std::int32_t tick = 500; tick < 503; ++tick)
        block.writer.writeFrame(block.bytes, tick, {});
    block.read();
    ASSERT_EQ(block.lastTick, 502);
    // The game restarted: its buffers now count from 3, and the stale ones are overwritten in turn.
    IRacingValues restarted{};
    restarted[kVertAccel] = 9.0f;
    for (std::int32_t tick = 3; tick < 6; ++tick)
        block.writer.writeFrame(block.bytes, tick, restarted);
    const TelemetryRecord before = block.record;
    EXPECT_EQ(block.read(), IRacingFrame::Unchanged);
    EXPECT_EQ(block.lastTick, 5);
    expectSameRecord(block.record, before);
    block.writer.writeFrame(block.bytes, 6, restarted);
    EXPECT_EQ(block.read(), IRacingFrame::NewFrame);
    EXPECT_NEAR(block.record.get(Channel::vertica_accel_g), 9.0, 1e-6);
}

TEST(IRacingBlock, WithoutASessionNothingIsReadAndTheTickCountStartsAfresh) {
    IRacingBlock block;
    block.writer.writeFrame(block.bytes, 40, {});
    block.read();
    block.writer.writeFrame(block.bytes, 41, turningOnASlope());
    block.writer.setStatus(block.bytes, 0);
    EXPECT_EQ(block.read(), IRacingFrame::NoData);
    EXPECT_EQ(block.lastTick, kNoTickSeen);
    EXPECT_EQ(block.record.get(Channel::lateral_accel_g), 0.0);
}

TEST(IRacingBlock, AWantedVariableMissingFromTheHeaderCountsAsNoMotion) {
    IRacingBlock block((1U << kVertAccel) | (1U << kYawRate) | (1U << kRoll));
    block.record.set(Channel::yaw_speed, 12.0);
    block.record.set(Channel::vertica_accel_g, -50.0);
    block.writer.writeFrame(block.bytes, 1, {});
    block.read();
    block.writer.writeFrame(block.bytes, 2, turningOnASlope());
    ASSERT_EQ(block.read(), IRacingFrame::NewFrame);
    const TelemetryRecord& r = block.record;
    EXPECT_EQ(r.get(Channel::yaw_speed), 0.0);
    EXPECT_EQ(r.get(Channel::roll_position), 0.0);
    EXPECT_EQ(r.get(Channel::vertica_accel), 0.0) << "no acceleration beyond gravity";
    EXPECT_NEAR(r.get(Channel::vertica_accel_g), g * std::cos(0.06), 1e-6) << "gravity at the pitch read";
    EXPECT_NEAR(r.get(Channel::lateral_accel_g), -3.0, 1e-6) << "the variables present are read";
    EXPECT_NEAR(r.get(Channel::pitch_position), 0.06 / kDeg, 1e-5);
}

TEST(IRacingBlock, AHeaderThatDoesNotFitTheBlockYieldsNoData) {
    struct Corruption {
        const char* what;
        std::size_t offset;
        std::int32_t value;
    };
    const Corruption corruptions[] = {
        {"negative variable count", 24, -1},
        {"more variables than the block holds", 24, 1 << 20},
        {"variable headers past the end", 28, static_cast<std::int32_t>(kIRacingBytes - 100)},
        {"negative variable header offset", 28, -144},
        {"no buffer", 32, 0},
        {"more buffers than the header has entries", 32, 5},
        {"empty buffers", 36, 0},
        {"negative buffer length", 36, -8},
        {"buffers longer than the block", 36, static_cast<std::int32_t>(kIRacingBytes)},
        {"a buffer past the end", 48 + 16 + 4, static_cast<std::int32_t>(kIRacingBytes - 8)},
        {"a negative buffer offset", 48 + 32 + 4, -4096},
    };
    for (const Corruption& c : corruptions) {
        SCOPED_TRACE(c.what);
        IRacingBlock block;
        block.writer.writeFrame(block.bytes, 1, {});
        block.read();
        block.writer.writeFrame(block.bytes, 2, turningOnASlope());
        putI32(block.bytes, c.offset, c.value);
        EXPECT_FALSE(parseIRacingHeader(block.bytes).has_value());
        EXPECT_EQ(block.read(), IRacingFrame::NoData);
        EXPECT_EQ(block.record.get(Channel::lateral_accel_g), 0.0);
    }
    std::int32_t lastTick = 0;
    TelemetryRecord record;
    EXPECT_EQ(parseIRacingBlock(Block(100, 0xFF), lastTick, {}, record), IRacingFrame::NoData)
        << "a block shorter than the header";
}

TEST(IRacingBlock, ABufferLongerThanTheScratchAreaIsCopiedAsFarAsItFits) {
    IRacingBlock block;
    block.writer.writeFrame(block.bytes, 1, {});
    block.writer.writeFrame(block.bytes, 2, turningOnASlope());
    const auto header = parseIRacingHeader(block.bytes);
    ASSERT_TRUE(header.has_value());
    const auto pitch = findIRacingVariable(block.bytes, *header, "Pitch");
    const auto latAccel = findIRacingVariable(block.bytes, *header, "LatAccel");
    ASSERT_TRUE(pitch && latAccel);
    ASSERT_LT(pitch->offset, latAccel->offset);
    // Room for "Pitch" but not for "LatAccel", which then counts as missing.
    std::vector<std::uint8_t> scratch(latAccel->offset);
    std::int32_t lastTick = 1;
    TelemetryRecord record;
    ASSERT_EQ(parseIRacingBlock(block.bytes, lastTick, scratch, record), IRacingFrame::NewFrame);
    EXPECT_NEAR(record.get(Channel::pitch_position), 0.06 / kDeg, 1e-5);
    EXPECT_EQ(record.get(Channel::lateral_accel), 0.0);
    EXPECT_NEAR(record.get(Channel::lateral_accel_g), record.get(Channel::lateral_gravi), 1e-12);
}

// The dump of a live block (a replay was playing, so the car's motion values are 0).
Block liveCapture() {
    std::ifstream file(std::string(TARVELMOND_CAPTURES_DIR) + "/iracing/live_test_file.ibt",
                       std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::int32_t i32At(const Block& b, std::size_t offset) {
    std::int32_t value = 0;
    std::memcpy(&value, b.data() + offset, sizeof value);
    return value;
}

// The test's own walk over the variable headers: the offset of the entry whose name is exactly `name`.
std::size_t offsetByOwnWalk(const Block& b, const char* name) {
    const auto count = static_cast<std::size_t>(i32At(b, 24));
    const auto headers = static_cast<std::size_t>(i32At(b, 28));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = headers + 144 * i;
        if (std::strncmp(reinterpret_cast<const char*>(b.data() + entry + 16), name, 32) == 0) {
            return static_cast<std::size_t>(i32At(b, entry + 4));
        }
    }
    return SIZE_MAX;
}

TEST(IRacingCapture, HeaderNewestBufferAndVariablesOfALiveBlock) {
    const Block capture = liveCapture();
    ASSERT_EQ(capture.size(), 1191936U);
    const auto header = parseIRacingHeader(capture);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->status, 1);
    EXPECT_EQ(header->variableCount, 323U);
    EXPECT_EQ(header->variableHeaders, 524400U);
    EXPECT_EQ(header->bufferCount, 3U);
    EXPECT_EQ(header->bufferLength, 8154U);
    const IRacingBuffer newest = newestIRacingBuffer(capture, *header);
    EXPECT_EQ(newest.index, 1U);
    EXPECT_EQ(newest.tick, 2005);
    EXPECT_EQ(newest.offset, static_cast<std::size_t>(i32At(capture, 48 + 16 + 4)));

    // Each of the 360 Hz variants ("VertAccel_ST") comes before its 60 Hz variable: only an exact
    // match finds the right one.
    for (const char* name :
         {"LatAccel", "LongAccel", "VertAccel", "YawRate", "RollRate", "PitchRate", "Yaw", "Roll", "Pitch"}) {
        const auto variable = findIRacingVariable(capture, *header, name);
        ASSERT_TRUE(variable.has_value()) << name;
        EXPECT_EQ(variable->offset, offsetByOwnWalk(capture, name)) << name;
        EXPECT_EQ(variable->type, 4) << name;
    }
    EXPECT_NE(offsetByOwnWalk(capture, "VertAccel"), offsetByOwnWalk(capture, "VertAccel_ST"));
    EXPECT_FALSE(findIRacingVariable(capture, *header, "NoSuchVariable").has_value());
    const auto sessionTick = findIRacingVariable(capture, *header, "SessionTick");
    ASSERT_TRUE(sessionTick.has_value());
    EXPECT_EQ(i32At(capture, newest.offset + sessionTick->offset), 3443) << "the session tick of buffer 1";
}

TEST(IRacingCapture, TheReaderTakesBuffer1) {
    Block capture = liveCapture();
    ASSERT_EQ(capture.size(), 1191936U);
    // Distinct values in each buffer, placed by the test's own walk of the header.
    const std::size_t vertAccel = offsetByOwnWalk(capture, "VertAccel");
    const std::size_t pitch = offsetByOwnWalk(capture, "Pitch");
    for (std::size_t buffer = 0; buffer < 3; ++buffer) {
        const auto base = static_cast<std::size_t>(i32At(capture, 48 + 16 * buffer + 4));
        putF32(capture, base + vertAccel, 9.0f + static_cast<float>(buffer));
        putF32(capture, base + pitch, -0.01f * static_cast<float>(buffer + 1));
    }
    std::int32_t lastTick = 2004;
    std::array<std::uint8_t, IRacingSlot::kScratchSize> scratch{};
    TelemetryRecord record;
    ASSERT_EQ(parseIRacingBlock(capture, lastTick, scratch, record), IRacingFrame::NewFrame);
    EXPECT_EQ(lastTick, 2005);
    EXPECT_NEAR(record.get(Channel::vertica_accel_g), 10.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::pitch_position), 0.02 / kDeg, 1e-5);
}

// ---- rFactor 2

using Matrix = std::array<double, 9>;

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (int k = 0; k < 3; ++k)
                m[r * 3 + c] += a[r * 3 + k] * b[k * 3 + c];
        }
    }
    return m;
}

// Rotations about the game's axes: x to the left, y up, z to the back.
Matrix aboutX(double deg) {
    const double c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
    return {1, 0, 0, 0, c, -s, 0, s, c};
}
Matrix aboutY(double deg) {
    const double c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
    return {c, 0, s, 0, 1, 0, -s, 0, c};
}
Matrix aboutZ(double deg) {
    const double c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
    return {c, -s, 0, s, c, 0, 0, 0, 1};
}

// A car's orientation: turned about the up axis by `turn`, then rolled about its own long axis, then
// pitched about its own lateral axis. Raising the nose (away from -z) and lowering the right side
// (the -x side) are positive.
Matrix carOrientation(double turn, double pitch, double roll) {
    return multiply(multiply(aboutY(turn), aboutZ(roll)), aboutX(pitch));
}

void expectSameMatrix(const Matrix& a, const Matrix& b) {
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-9) << "element " << i;
}

TEST(RFactor2Orientation, GivesBackTheAnglesTheMatrixWasBuiltFrom) {
    struct Case {
        double turn, pitch, roll;
    };
    const Case cases[] = {
        {0, 0, 0},     {30, 0, 0},   {0, 10, 0},    {0, 0, -15},  {-120, 5, 8},
        {45, -20, 30}, {170, 4, -6}, {-175, -3, 2}, {20, 160, 5}, {0, -170, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.turn) + " " + std::to_string(c.pitch) + " " + std::to_string(c.roll));
        const Attitude a = rFactor2Attitude(carOrientation(c.turn, c.pitch, c.roll));
        // The heading counts the other way round than the turn about the game's up axis.
        expectSameMatrix(carOrientation(-a.yawDeg, a.pitchDeg, a.rollDeg),
                         carOrientation(c.turn, c.pitch, c.roll));
        if (std::fabs(c.pitch) < 90) {
            EXPECT_NEAR(a.yawDeg, -c.turn, 1e-9);
            EXPECT_NEAR(a.pitchDeg, c.pitch, 1e-9);
            EXPECT_NEAR(a.rollDeg, c.roll, 1e-9);
        }
    }
    // Upside down: the roll of 170 degrees is the same attitude as a turn and pitch of 180 with a roll
    // of 10, and rebuilds the same matrix.
    const Attitude flipped = rFactor2Attitude(aboutZ(170));
    expectSameMatrix(carOrientation(-flipped.yawDeg, flipped.pitchDeg, flipped.rollDeg), aboutZ(170));
    EXPECT_NEAR(flipped.rollDeg, 10.0, 1e-9);
}

TEST(RFactor2Block, ReadsOnlyWhenTheTimeStampMovesForward) {
    Block block(kRFactor2Bytes);
    RFactor2Block rf2{.timeStamp = 12.5,
                      .localVelocity = {0.5, -0.1, -30.0},
                      .localAcceleration = {1.0, 0.2, 3.0},
                      .orientation = carOrientation(-30, 2, -4),
                      .localRotation = {0.1, 0.2, 0.3},
                      .localRotationAccel = {-0.4, 0.5, -0.6}};
    writeRFactor2(block, rf2);
    double last = kNoTimeStampSeen;
    TelemetryRecord record;
    ASSERT_EQ(parseRFactor2Block(block, last, record), 1);
    EXPECT_EQ(last, 12.5);
    EXPECT_DOUBLE_EQ(record.get(Channel::lateral_speed), -0.5);
    EXPECT_DOUBLE_EQ(record.get(Channel::vertica_speed), -0.1);
    EXPECT_DOUBLE_EQ(record.get(Channel::longitu_speed), 30.0);
    EXPECT_DOUBLE_EQ(record.get(Channel::lateral_accel), -1.0);
    EXPECT_DOUBLE_EQ(record.get(Channel::vertica_accel), 0.2);
    EXPECT_DOUBLE_EQ(record.get(Channel::longitu_accel), -3.0);
    EXPECT_NEAR(record.get(Channel::pitch_speed), 0.1 / kDeg, 1e-9);
    EXPECT_NEAR(record.get(Channel::yaw_speed), -0.2 / kDeg, 1e-9);
    EXPECT_NEAR(record.get(Channel::roll_speed), 0.3 / kDeg, 1e-9);
    EXPECT_NEAR(record.get(Channel::pitch_accel), -0.4 / kDeg, 1e-9);
    EXPECT_NEAR(record.get(Channel::yaw_accel), -0.5 / kDeg, 1e-9);
    EXPECT_NEAR(record.get(Channel::roll_accel), -0.6 / kDeg, 1e-9);
    EXPECT_NEAR(record.get(Channel::yaw_position), 30.0, 1e-9);
    EXPECT_NEAR(record.get(Channel::pitch_position), 2.0, 1e-9);
    EXPECT_NEAR(record.get(Channel::roll_position), -4.0, 1e-9);

    const TelemetryRecord before = record;
    rf2.localVelocity = {9, 9, 9};
    writeRFactor2(block, rf2);
    EXPECT_EQ(parseRFactor2Block(block, last, record), 0) << "equal time stamp";
    expectSameRecord(record, before);

    rf2.timeStamp = 0.25;  // the session restarted
    writeRFactor2(block, rf2);
    EXPECT_EQ(parseRFactor2Block(block, last, record), 0);
    EXPECT_EQ(last, 0.25) << "the earlier clock is adopted";
    rf2.timeStamp = 0.26;
    writeRFactor2(block, rf2);
    EXPECT_EQ(parseRFactor2Block(block, last, record), 1);
    EXPECT_DOUBLE_EQ(record.get(Channel::lateral_speed), -9.0);
}

// ---- Euro Truck Simulator 2 / American Truck Simulator

TEST(TruckBlock, ReadsRevolutionsIntoDegreesWithinTheirRanges) {
    Block block(kTruckBytes);
    writeTruck(block, {.heading = 0.25f,
                       .pitch = -0.02f,
                       .roll = 0.01f,
                       .speed = 22.5f,
                       .rpm = 1450.0f,
                       .linearVelocity = {0.1f, -0.2f, 22.0f},
                       .angularVelocity = {0.01f, 0.02f, -0.03f},
                       .linearAcceleration = {1.5f, -0.25f, 0.75f},
                       .angularAcceleration = {0.05f, -0.1f, 0.2f}});
    TelemetryRecord record;
    ASSERT_EQ(parseTruckBlock(block, record), 1);
    EXPECT_NEAR(record.get(Channel::yaw_position), 90.0, 1e-4);
    EXPECT_NEAR(record.get(Channel::pitch_position), -7.2, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_position), -3.6, 1e-4);
    EXPECT_NEAR(record.get(Channel::speed), 22.5, 1e-6);
    EXPECT_NEAR(record.get(Channel::rpm), 1450.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::lateral_speed), 0.1, 1e-6);
    EXPECT_NEAR(record.get(Channel::vertica_speed), -0.2, 1e-6);
    EXPECT_NEAR(record.get(Channel::longitu_speed), -22.0, 1e-6);
    EXPECT_NEAR(record.get(Channel::pitch_speed), 3.6, 1e-4);
    EXPECT_NEAR(record.get(Channel::yaw_speed), 7.2, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_speed), 10.8, 1e-4);
    EXPECT_NEAR(record.get(Channel::lateral_accel), 1.5, 1e-6);
    EXPECT_NEAR(record.get(Channel::vertica_accel), -0.25, 1e-6);
    EXPECT_NEAR(record.get(Channel::longitu_accel), -0.75, 1e-6);
    EXPECT_NEAR(record.get(Channel::pitch_accel), 18.0, 1e-4);
    EXPECT_NEAR(record.get(Channel::yaw_accel), -36.0, 1e-4);
    EXPECT_NEAR(record.get(Channel::roll_accel), -72.0, 1e-4);

    writeTruck(block, {.heading = 1.2f, .pitch = 0.3f, .roll = -0.6f});
    ASSERT_EQ(parseTruckBlock(block, record), 1);
    EXPECT_EQ(record.get(Channel::yaw_position), 360.0);
    EXPECT_EQ(record.get(Channel::pitch_position), 90.0);
    EXPECT_EQ(record.get(Channel::roll_position), 180.0);
    writeTruck(block, {.heading = -0.1f, .pitch = -0.3f, .roll = 0.6f});
    ASSERT_EQ(parseTruckBlock(block, record), 1);
    EXPECT_EQ(record.get(Channel::yaw_position), 0.0);
    EXPECT_EQ(record.get(Channel::pitch_position), -90.0);
    EXPECT_EQ(record.get(Channel::roll_position), -180.0);

    const TelemetryRecord before = record;
    writeTruck(block, {.running = 0, .heading = 0.5f});
    EXPECT_EQ(parseTruckBlock(block, record), 0) << "the game is not running";
    expectSameRecord(record, before);
}

}  // namespace
}  // namespace tarvelmond::test
