// The session recording's reader against what the writer makes and against damaged files: every cut,
// a wrong start, an unknown version, an implausible length, a record longer than its kind; and a kind
// from a later minor version is skipped.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "session_file.h"

namespace tarvelmond::host {
namespace {

std::vector<std::uint8_t> smallRecording() {
    SessionWriter writer({"", "lateral_speed", "lateral_accel"}, 2);
    writer.game({0.05, 0, "Xplane"});
    writer.tick({0, {0.0, 1.5, -2.25}, {0.125, std::numeric_limits<double>::quiet_NaN()}});
    writer.tick({1, {0.0, 1.75, -2.5}, {0.25, -0.0}});
    writer.stages({0.1, 1, 42.0, {1, 2}, {3, 4}, {5, 6}});
    writer.gap({0.15, 0});
    writer.datagram({0.16, 4321, {0x44, 0x41, 0x54, 0x41, 0x00}});
    writer.block({0.17, "Local\\acpmf_physics", 4, {{0, {1, 2, 3, 4}}}});
    writer.block({0.18, "Local\\acpmf_physics", 4, {{1, {9}}, {3, {7}}}});
    return writer.take();
}

std::string readError(const std::vector<std::uint8_t>& bytes) {
    try {
        parseSession(bytes, "session.tmr");
    } catch (const SessionError& error) {
        return error.what();
    }
    return {};
}

TEST(SessionFile, WhatIsWrittenIsReadBackBitForBit) {
    const Session session = parseSession(smallRecording(), "session.tmr");
    EXPECT_EQ(session.telemetryNames, (std::vector<std::string>{"", "lateral_speed", "lateral_accel"}));
    EXPECT_EQ(session.cueCount, 2u);
    ASSERT_EQ(session.ticks.size(), 2u);
    EXPECT_EQ(session.ticks[1].tick, 1u);
    EXPECT_EQ(session.ticks[1].telemetry, (std::vector<double>{0.0, 1.75, -2.5}));
    EXPECT_TRUE(std::isnan(session.ticks[0].cues[1]));
    EXPECT_TRUE(std::signbit(session.ticks[1].cues[1]));
    ASSERT_EQ(session.games.size(), 1u);
    EXPECT_EQ(session.games[0].name, "Xplane");
    ASSERT_EQ(session.stages.size(), 1u);
    EXPECT_EQ(session.stages[0].activeProfile, 1);
    EXPECT_EQ(session.stages[0].fadePercent, 42.0);
    EXPECT_EQ(session.stages[0].ticksBefore, 2u);
    EXPECT_EQ(session.stages[0].final, (std::vector<double>{5, 6}));
    ASSERT_EQ(session.gaps.size(), 1u);
    EXPECT_EQ(session.gaps[0].ticksBefore, 2u);
    ASSERT_EQ(session.datagrams.size(), 1u);
    EXPECT_EQ(session.datagrams[0].seconds, 0.16);
    EXPECT_EQ(session.datagrams[0].port, 4321);
    EXPECT_EQ(session.datagrams[0].bytes, (std::vector<std::uint8_t>{0x44, 0x41, 0x54, 0x41, 0x00}));
    ASSERT_EQ(session.blocks.size(), 2u);
    EXPECT_EQ(session.blocks[0], (BlockRecord{0.17, "Local\\acpmf_physics", 4, {{0, {1, 2, 3, 4}}}}));
    EXPECT_EQ(session.blocks[1], (BlockRecord{0.18, "Local\\acpmf_physics", 4, {{1, {9}}, {3, {7}}}}));
}

// A block recorded frame by frame as what changed: replaying the frames in order rebuilds every frame
// of the block, whatever changed (nothing much, scattered bytes, all of it, the size), and no frame
// takes more room than the whole block would.
TEST(SessionFile, BlockFramesRebuildEveryFrameOfTheBlock) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<std::vector<std::uint8_t>> frames(1, std::vector<std::uint8_t>(5000));
    for (auto& byte : frames[0])
        byte = static_cast<std::uint8_t>(random());
    for (int i = 0; i < 60; ++i) {
        std::vector<std::uint8_t> next = frames.back();
        if (i == 30) next.resize(3000);  // the game made the block anew
        const std::size_t changes = random() % 4 == 0 ? next.size() : random() % 40;
        for (std::size_t c = 0; c < changes; ++c)
            next[random() % next.size()] = static_cast<std::uint8_t>(random());
        next[random() % next.size()] ^= 0x80;  // a new frame: something changed
        if (i == 10) next.back() ^= 1;         // the last byte alone
        if (i == 11) next.front() ^= 1;
        frames.push_back(std::move(next));
    }
    SessionWriter writer({""}, 1);
    std::vector<std::uint8_t> previous;
    for (const auto& frame : frames) {
        const BlockRecord changes = hostio::blockFrameBetween("$R3E", 0.5, previous, frame);
        std::size_t stored = 0;
        for (const hostio::ByteRun& run : changes.runs)
            stored += run.bytes.size() + 8;
        EXPECT_LE(stored, frame.size() + 8);
        writer.block(changes);
        previous = frame;
    }
    const Session session = parseSession(writer.take(), "session.tmr");
    ASSERT_EQ(session.blocks.size(), frames.size());
    std::vector<std::uint8_t> image;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        hostio::applyBlockFrame(session.blocks[i], image);
        ASSERT_EQ(image, frames[i]) << "frame " << i;
    }

    // Changes a few bytes apart share a run; changes further apart are runs of their own.
    const std::vector<std::uint8_t> zeros(100);
    std::vector<std::uint8_t> changed = zeros;
    changed[10] = changed[14] = changed[60] = 1;
    EXPECT_EQ(hostio::blockFrameBetween("$R3E", 0, zeros, changed).runs,
              (std::vector<hostio::ByteRun>{{10, {1, 0, 0, 0, 1}}, {60, {1}}}));
}

TEST(SessionFile, EveryCutShortRecordingIsAClearErrorOrAWholeShorterSession) {
    const std::vector<std::uint8_t> whole = smallRecording();
    const std::size_t header = 8 + 8 + 1 + 1 + 13 + 1 + 13;
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::vector<std::uint8_t> cut(whole.begin(),
                                            whole.begin() + static_cast<std::ptrdiff_t>(length));
        const std::string error = readError(cut);
        if (error.empty()) {
            // Only a cut between two records leaves a readable (shorter) session.
            EXPECT_GE(length, header) << length;
            continue;
        }
        EXPECT_EQ(error.rfind("session.tmr: byte ", 0), 0u) << error;
        EXPECT_NE(error.find("ends inside"), std::string::npos) << error;
    }
}

TEST(SessionFile, DamagedRecordingsSayWhatIsWrong) {
    std::vector<std::uint8_t> bytes = smallRecording();
    bytes[0] = 'X';
    EXPECT_NE(readError(bytes).find("not a Tarvelmond session recording"), std::string::npos);

    bytes = smallRecording();
    bytes[8] = 2;  // major version 2
    EXPECT_NE(readError(bytes).find("version 2.1 is not supported"), std::string::npos) << readError(bytes);

    bytes = smallRecording();
    const std::size_t firstRecord = 8 + 8 + 1 + 0 + 1 + 13 + 1 + 13;
    ASSERT_EQ(bytes[firstRecord], 3);  // the game record
    bytes[firstRecord + 4] = 0x7f;     // its length's top byte
    EXPECT_NE(readError(bytes).find("implausible"), std::string::npos) << readError(bytes);

    bytes = smallRecording();
    bytes.push_back(1);  // a stray byte after the last record
    EXPECT_NE(readError(bytes).find("ends inside a record's length"), std::string::npos) << readError(bytes);

    bytes = smallRecording();
    bytes[firstRecord] = 1;  // a tick record as long as a game record
    EXPECT_NE(readError(bytes).find("ends inside a tick record"), std::string::npos) << readError(bytes);

    // Raw game input that could never have been sent: to port 0, or longer than a UDP datagram.
    SessionWriter writer({""}, 1);
    writer.take();  // the header: only the records are wanted
    writer.datagram({0.0, 0, {1}});
    bytes = smallRecording();
    std::vector<std::uint8_t> record = writer.take();
    bytes.insert(bytes.end(), record.begin(), record.end());
    EXPECT_NE(readError(bytes).find("port 0"), std::string::npos) << readError(bytes);
    writer.datagram({0.0, 20777, std::vector<std::uint8_t>(kMaxDatagram + 1)});
    bytes = smallRecording();
    record = writer.take();
    bytes.insert(bytes.end(), record.begin(), record.end());
    EXPECT_EQ(readError(bytes), "session.tmr: byte " + std::to_string(smallRecording().size() + 5 + 10) +
                                    ": a datagram longer than UDP carries");

    // Changes to a block beyond its size, or to a block larger than any game's.
    for (const BlockRecord& block :
         {BlockRecord{0.0, "$R3E", 4, {{0, {1}}, {3, {1, 2}}}}, BlockRecord{0.0, "$R3E", 4, {{5, {1}}}},
          BlockRecord{0.0, "$R3E", hostio::kMaxBlockSize + 1, {{0, {1}}}}}) {
        writer.block(block);
        bytes = smallRecording();
        record = writer.take();
        bytes.insert(bytes.end(), record.begin(), record.end());
        const std::string error = readError(bytes);
        EXPECT_TRUE(error.find("a change outside the block") != std::string::npos ||
                    error.find("implausible") != std::string::npos)
            << error;
    }
}

TEST(SessionFile, AKindFromALaterVersionIsSkippedWhole) {
    std::vector<std::uint8_t> bytes = smallRecording();
    const std::vector<std::uint8_t> later = {200, 3, 0, 0, 0, 1, 2, 3};
    bytes.insert(bytes.end(), later.begin(), later.end());
    SessionWriter tail({"", "lateral_speed", "lateral_accel"}, 2);
    tail.take();  // only its records
    tail.tick({2, {0, 0, 0}, {0, 0}});
    const std::vector<std::uint8_t> tick = tail.take();
    bytes.insert(bytes.end(), tick.begin(), tick.end());
    const Session session = parseSession(bytes, "session.tmr");
    EXPECT_EQ(session.ticks.size(), 3u);
}

}  // namespace
}  // namespace tarvelmond::host
