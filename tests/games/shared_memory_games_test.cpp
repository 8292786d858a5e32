// The shared-memory games. Through the real parts: blocks that another process publishes under the
// games' real names and sizes, running under the games' executable names, found, connected and read
// through readGameFrame in the games' units and signs; what the readers give when the game pauses,
// hangs, restarts or closes its block; and what disconnection releases. On blocks built in this process
// and on a dump of a live iRacing block: the RaceRoom versions, the iRacing header checks, the rFactor 2
// orientation, the truck games' angle ranges and views shorter than the layouts.
#include <gtest/gtest.h>

#include <algorithm>

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "block_publisher.h"
#include "game_test_support.h"
#include "games/assetto_corsa_reader.h"
#include "games/game_source.h"
#include "games/iracing_reader.h"
#include "games/pcars2_reader.h"
#include "games/raceroom_reader.h"
#include "games/rfactor2_reader.h"
#include "games/shared_memory_slots.h"
#include "games/truck_reader.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using Block = std::vector<std::uint8_t>;

// ---- rFactor 2's orientation matrix

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
Matrix about(int axis, double deg) {
    const double c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
    if (axis == 0) return {1, 0, 0, 0, c, -s, 0, s, c};
    if (axis == 1) return {c, 0, s, 0, 1, 0, -s, 0, c};
    return {c, -s, 0, s, c, 0, 0, 0, 1};
}

// A car's orientation: turned about the up axis by `turn`, then rolled about its own long axis, then
// pitched about its own lateral axis. Raising the nose (away from -z) and lowering the right side
// (the -x side) are positive.
Matrix carOrientation(double turn, double pitch, double roll) {
    return multiply(multiply(about(1, turn), about(2, roll)), about(0, pitch));
}

TEST(RFactor2Orientation, GivesBackTheAnglesTheMatrixWasBuiltFrom) {
    struct Case {
        double turn, pitch, roll;
    };
    const Case cases[] = {{30, 0, 0}, {0, 10, 0}, {0, 0, -15}, {-120, 5, 8}, {-175, -3, 2}, {20, 160, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.turn << " " << c.pitch << " " << c.roll);
        const Matrix m = carOrientation(c.turn, c.pitch, c.roll);
        const Attitude a = rFactor2Attitude(m);
        // The heading counts the other way round than the turn about the game's up axis. Past a right
        // angle of pitch or roll other angles describe the same attitude: they rebuild the same matrix.
        const Matrix rebuilt = carOrientation(-a.yawDeg, a.pitchDeg, a.rollDeg);
        for (std::size_t i = 0; i < 9; ++i)
            EXPECT_NEAR(rebuilt[i], m[i], 1e-9) << "element " << i;
        if (std::fabs(c.pitch) < 90 && std::fabs(c.roll) < 90) {
            EXPECT_NEAR(a.yawDeg, -c.turn, 1e-9);
            EXPECT_NEAR(a.pitchDeg, c.pitch, 1e-9);
            EXPECT_NEAR(a.rollDeg, c.roll, 1e-9);
        }
    }
}

// ---- The games as another process publishes them

// A RaceRoom car in the current layout, and what the record holds for it.
// A game mode of 1 and VR in use must not read as any of the state words.
const R3eBlock kRaceRoomCar = {.versionMajor = 3,
                               .versionMinor = 4,
                               .gameMode = 1,
                               .gameUsingVr = 1,
                               .userId = 1,
                               .localVelocity = {2.0, 0.1, -35.0},
                               .localAcceleration = {-4.0, 0.5, 2.0},
                               .orientation = {0.02, 0.9, -0.04},
                               .angularAcceleration = {0.1, 0.2, 0.3},
                               .angularVelocity = {0.05, -0.25, 0.15},
                               .localAngularVelocity = {-0.07, 0.35, 0.11}};
const std::vector<Expect> kRaceRoomCarRecord = {
    {lateral_speed, -2.0},         {vertica_speed, 0.1},        {longitu_speed, 35.0},
    {lateral_accel, 4.0},          {vertica_accel, 0.5},        {longitu_accel, -2.0},
    {pitch_position, 0.02 / kDeg}, {yaw_position, -0.9 / kDeg}, {roll_position, -0.04 / kDeg},
    {pitch_speed, -0.07 / kDeg},   {yaw_speed, -0.35 / kDeg},   {roll_speed, 0.11 / kDeg},
    {pitch_accel, 0.1 / kDeg},     {yaw_accel, -0.2 / kDeg},    {roll_accel, 0.3 / kDeg}};

struct PublishedGame {
    BlockGame game;
    int slot;
    std::function<void(BlockScene&)> report;  // what the game reports
    std::vector<Expect> record;               // and what the record then holds
    std::function<void(BlockScene&)> stop;    // the game stops giving data but keeps its block
    bool nameChecked;  // a closed block ends the data although the reader's view stays valid
};

// One game a row: what it reports in its own terms, what the record then holds, how it stops.
// clang-format off
std::vector<PublishedGame> publishedGames() {
    const auto assettoCorsa = [](BlockScene& s) {
        s.ac = {.packetId = 100, .accG = {0.4f, 0.1f, -0.3f}, .heading = 0.7f, .pitch = -0.05f, .roll = 0.03f,
                .localAngularVel = {0.1f, 0.2f, 0.3f}, .localVelocity = {0.5f, -1.0f, 42.0f}};
    };
    // Accelerations in the game's own g of 9.81.
    const std::vector<Expect> assettoCorsaRecord = {
        {lateral_accel, 0.4 * 9.81}, {vertica_accel, -0.1 * 9.81},   {longitu_accel, -0.3 * 9.81},
        {lateral_speed, 0.5},        {vertica_speed, -1.0},          {longitu_speed, 42.0},
        {pitch_speed, 0.1 / kDeg},   {yaw_speed, 0.2 / kDeg},        {roll_speed, 0.3 / kDeg},
        {yaw_position, -0.7 / kDeg}, {pitch_position, -0.05 / kDeg}, {roll_position, -0.03 / kDeg}};
    const auto freeze = [](BlockScene& s) { s.command = PublisherCommand::Freeze; };
    return {
        {BlockGame::AssettoCorsa, kAssettoCorsa, assettoCorsa, assettoCorsaRecord, freeze, false},
        {BlockGame::AssettoCorsaEvo, kAssettoCorsaEvo, assettoCorsa, assettoCorsaRecord, freeze, false},
        {BlockGame::RaceRoom, kRaceRoom, [](BlockScene& s) { s.r3e = kRaceRoomCar; }, kRaceRoomCarRecord,
         [](BlockScene& s) { s.r3e.gamePaused = 1; }, true},
        {BlockGame::Pcars2, kPcars2,
         [](BlockScene& s) {
             s.pcars2 = {.orientation = {0.3f, -0.1f, 0.05f}, .localVelocity = {0.5f, 0.1f, 25.0f},
                         .angularVelocity = {0.2f, 0.15f, -0.05f}, .localAcceleration = {2.0f, -0.5f, 1.5f}};
         },
         {{yaw_position, -0.3 / kDeg}, {roll_position, -0.1 / kDeg}, {pitch_position, 0.05 / kDeg},
          {lateral_speed, 0.5}, {longitu_speed, 0.1}, {vertica_speed, 25.0}, {yaw_speed, -0.2 / kDeg},
          {roll_speed, 0.15 / kDeg}, {pitch_speed, -0.05 / kDeg}, {lateral_accel, 2.0},
          {longitu_accel, -0.5}, {vertica_accel, 1.5}},
         [](BlockScene& s) { s.pcars2.gameState = 1; },  // in the menus
         true},
        {BlockGame::IRacing, kIRacing,
         [](BlockScene& s) {  // a car turning on a slope; accelerations with gravity, rates in rad/s
             s.iRacing = {3.0f, -1.5f, 9.5f, 0.25f, -0.05f, 0.02f, 1.0f, 0.04f, -0.06f};
         },
         {{lateral_accel_g, -3.0}, {longitu_accel_g, -1.5}, {vertica_accel_g, 9.5}, {yaw_speed, 0.25},
          {roll_speed, -0.05}, {pitch_speed, 0.02}, {yaw_position, 1.0 / kDeg},
          {roll_position, 0.04 / kDeg}, {pitch_position, 0.06 / kDeg},
          {vertica_accel, 9.5 - g * std::cos(0.06) * std::cos(0.04)}},
         [](BlockScene& s) { s.iRacingStatus = 0; },  // the session ended
         false},
        {BlockGame::RFactor2, kRFactor2,
         [](BlockScene& s) {
             s.rf2 = {.timeStamp = 12.5, .localVelocity = {0.5, -0.1, -30.0},
                      .localAcceleration = {1.0, 0.2, 3.0}, .orientation = carOrientation(-30, 2, -4),
                      .localRotation = {0.1, 0.2, 0.3}, .localRotationAccel = {-0.4, 0.5, -0.6}};
         },
         {{lateral_speed, -0.5}, {vertica_speed, -0.1}, {longitu_speed, 30.0}, {lateral_accel, -1.0},
          {vertica_accel, 0.2}, {longitu_accel, -3.0}, {pitch_speed, 0.1 / kDeg}, {yaw_speed, -0.2 / kDeg},
          {roll_speed, 0.3 / kDeg}, {pitch_accel, -0.4 / kDeg}, {yaw_accel, -0.5 / kDeg},
          {roll_accel, -0.6 / kDeg}, {yaw_position, 30.0}, {pitch_position, 2.0}, {roll_position, -4.0}},
         freeze, false},
        {BlockGame::Truck, kEts2,
         [](BlockScene& s) {  // angles in revolutions
             s.truck = {.heading = 0.25f, .pitch = -0.02f, .roll = 0.01f, .speed = 22.5f, .rpm = 1450.0f,
                        .linearVelocity = {0.1f, -0.2f, 22.0f}, .angularVelocity = {0.01f, 0.02f, -0.03f},
                        .linearAcceleration = {1.5f, -0.25f, 0.75f},
                        .angularAcceleration = {0.05f, -0.1f, 0.2f}};
         },
         {{yaw_position, 90.0}, {pitch_position, -7.2}, {roll_position, -3.6}, {speed, 22.5},
          {rpm, 1450.0}, {lateral_speed, 0.1}, {vertica_speed, -0.2}, {longitu_speed, -22.0},
          {pitch_speed, 3.6}, {yaw_speed, 7.2}, {roll_speed, 10.8}, {lateral_accel, 1.5},
          {vertica_accel, -0.25}, {longitu_accel, -0.75}, {pitch_accel, 18.0}, {yaw_accel, -36.0},
          {roll_accel, -72.0}},
         [](BlockScene& s) { s.truck.running = 0; }, false},
    };
}
// clang-format on

std::unique_ptr<GameSource> connected(int slot) {
    auto source = std::make_unique<GameSource>();
    EXPECT_EQ(detectGame(*source), 1);
    EXPECT_EQ(getGameId(*source), slot);
    EXPECT_EQ(connectGame(*source), 1);
    return source;
}

// Reads on until the condition holds (5 s at most): the games write every few milliseconds.
bool readUntil(GameSource& source, const std::function<bool()>& condition) {
    return eventually([&] {
        readGameFrame(source);
        return condition();
    });
}

// Whether the readers stop reporting data: twenty calls in a row without any.
bool quietsDown(GameSource& source) {
    int quiet = 0;
    return eventually([&] {
        quiet = readGameFrame(source) == 0 ? quiet + 1 : 0;
        return quiet >= 20;
    });
}

bool anyViewOpen(const GameSource& source) {
    return std::ranges::any_of(source.readers, [](const auto& reader) { return reader->holdsChannel(); });
}

TEST(PublishedGames, EachIsReadInItsUnitsAndSignsUntilItStopsAndIsReleasedOnDisconnection) {
    for (const PublishedGame& row : publishedGames()) {
        SCOPED_TRACE(gameDisplayName(row.slot));
        BlockScene scene;
        row.report(scene);
        GameBlockPublisher game(row.game, scene);
        ASSERT_TRUE(game.started());
        auto source = connected(row.slot);
        readUntil(*source, [&] { return matches(source->record, row.record); });
        expectChannels(source->record, row.record);

        BlockScene stopped = scene;
        row.stop(stopped);
        game.setScene(stopped);
        EXPECT_TRUE(quietsDown(*source)) << "no data once the game stops";
        game.setScene(scene);
        EXPECT_TRUE(eventually([&] { return readGameFrame(*source) == 1; })) << "data again once it goes on";
        if (row.nameChecked) {
            game.command(PublisherCommand::Close);
            ASSERT_TRUE(game.waitBlockOpen(false));
            EXPECT_EQ(readGameFrame(*source), 0)
                << "the view still shows the last frame, but the name is gone";
        }
        EXPECT_EQ(disconnectGame(*source), 1);
        EXPECT_FALSE(anyViewOpen(*source)) << "no view, mapping or event is kept";
        EXPECT_EQ(readGameFrame(*source), 0);
    }
}

TEST(PublishedGames, IRacingFollowsARestartedTickCountAndReadsAMissingVariableAsNoMotion) {
    BlockScene scene;
    scene.iRacing[kVertAccel] = 9.6f;
    scene.iRacing[kRoll] = -0.02f;
    scene.iRacingFirstTick = 1000;
    {
        GameBlockPublisher game(BlockGame::IRacing, scene);
        ASSERT_TRUE(game.started());
        auto source = connected(kIRacing);
        ASSERT_TRUE(readUntil(*source, [&] { return matches(source->record, {{vertica_accel_g, 9.6}}); }));
        // The game restarts its session: the ticks count from 3 again.
        scene.iRacingFirstTick = 3;
        scene.iRacing[kVertAccel] = 8.5f;
        scene.restart = 1;
        game.setScene(scene);
        EXPECT_TRUE(readUntil(*source, [&] {
            return matches(source->record, {{vertica_accel_g, 8.5}});
        })) << "the lower count is adopted and the following frames are read";
    }
    scene.iRacing[kLatAccel] = 3.0f;
    scene.iRacing[kPitch] = 0.05f;
    scene.iRacingMissing = 1U << kLatAccel | 1U << kPitch;
    GameBlockPublisher game(BlockGame::IRacing, scene);
    ASSERT_TRUE(game.started());
    auto source = connected(kIRacing);
    source->record.set(pitch_position, 33.0);
    ASSERT_TRUE(readUntil(*source, [&] { return source->record.get(pitch_position) == 0.0; }));
    expectChannels(source->record,
                   {{lateral_accel, 0.0}, {vertica_accel_g, 8.5}, {lateral_accel_g, g * std::sin(-0.02)}},
                   1e-5);  // the acceleration of a missing variable is the gravity component alone
}

TEST(PublishedGames, RFactor2WaitsForThePluginsDataAndFollowsARestartedClock) {
    BlockScene scene;
    scene.rf2 = {.firstWord = kRFactor2NoData, .timeStamp = 100.0, .localVelocity = {0.0, 0.0, -25.0}};
    GameBlockPublisher game(BlockGame::RFactor2, scene);
    ASSERT_TRUE(game.started());
    auto source = std::make_unique<GameSource>();
    ASSERT_EQ(detectGame(*source), 1);
    ASSERT_EQ(getGameId(*source), kRFactor2);
    EXPECT_EQ(connectGame(*source), 0) << "the plug-in has no data yet";
    EXPECT_FALSE(source->reader(kRFactor2).holdsChannel());

    scene.rf2.firstWord = 0;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    ASSERT_EQ(connectGame(*source), 1);
    EXPECT_TRUE(readUntil(*source, [&] { return source->record.get(longitu_speed) == 25.0; }));
    // The session restarts: the game's clock starts low again.
    scene.rf2.timeStamp = 1.0;
    scene.rf2.localVelocity = {0.0, 0.0, -12.0};
    scene.restart = 1;
    game.setScene(scene);
    EXPECT_TRUE(readUntil(*source, [&] { return source->record.get(longitu_speed) == 12.0; }))
        << "the earlier clock is adopted and read on from there";
}

// ---- Blocks built in this process

TEST(RaceRoomBlock, EveryPublishedVersionIsReadInItsOwnLayoutAndItsStateWordsAreHeeded) {
    // The blocks are laid out as each version's published header has them; 3.0 was never published,
    // 3.7 stands for a later 3.x that keeps the 3.4 layout. 1.x (2016-2017) is refused.
    struct Version {
        std::int32_t major, minor;
        bool read;
    };
    const Version versions[] = {{1, 1, false}, {1, 7, false}, {2, 6, true}, {2, 16, true}, {3, 1, true},
                                {3, 2, true},  {3, 3, true},  {3, 4, true}, {3, 5, true},  {3, 7, true}};
    for (const Version& v : versions) {
        SCOPED_TRACE(testing::Message() << v.major << "." << v.minor);
        const auto blockOf = [&](const std::function<void(R3eBlock&)>& change) {
            R3eBlock r3e = kRaceRoomCar;
            r3e.versionMajor = v.major;
            r3e.versionMinor = v.minor;
            change(r3e);
            Block block(kR3eBytes);
            writeR3e(block, r3e);
            return block;
        };
        const Block driving = blockOf([](R3eBlock&) {});
        if (!v.read) {
            EXPECT_EQ(raceRoomState(driving), RaceRoomState::UnknownVersion);
            continue;
        }
        ASSERT_EQ(raceRoomState(driving), RaceRoomState::Driving);
        std::array<std::uint8_t, RaceRoomSlot::kCopySize> copy{};
        TelemetryRecord record;
        fillRaceRoomRecord(driving, copy, record);
        expectChannels(record, kRaceRoomCarRecord, 1e-9);

        EXPECT_EQ(raceRoomState(blockOf([](R3eBlock& r) { r.gamePaused = 1; })), RaceRoomState::Paused);
        EXPECT_EQ(raceRoomState(blockOf([](R3eBlock& r) { r.gameInMenus = 1; })), RaceRoomState::NotDriving);
        EXPECT_EQ(raceRoomState(blockOf([](R3eBlock& r) { r.gameInReplay = 1; })), RaceRoomState::NotDriving);
    }
    for (const auto& [major, minor] : {std::pair{4, 0}, {3, -1}, {0, 0}}) {
        Block block(kR3eBytes);
        R3eBlock r3e = kRaceRoomCar;
        r3e.versionMajor = major;
        r3e.versionMinor = minor;
        writeR3e(block, r3e);
        EXPECT_EQ(raceRoomState(block), RaceRoomState::UnknownVersion) << major << "." << minor;
    }
}

// Each reader on a view that ends before the last field it reads, in an allocation of exactly that
// size: nothing is read, nothing is written to the record.
TEST(SharedMemoryBlocks, AViewShortOfTheLayoutIsNotRead) {
    struct Case {
        const char* game;
        std::size_t size;  // of the game's block, cut to `cut`
        std::size_t cut;
        std::function<void(BlockSpan)> write;
        std::function<bool(BlockBytes, TelemetryRecord&)> read;  // true: data was read
    };
    const Case cases[] = {
        {"Assetto Corsa", kAcPhysicsBytes, 579,
         [](BlockSpan b) { writeAcPhysics(b, {.packetId = 5, .pitch = 1}); },
         [](BlockBytes b, TelemetryRecord& r) {
             std::uint32_t last = 0;
             return parseAssettoCorsaPhysics(b, last, r) == 1;
         }},
        {"RaceRoom", kR3eBytes, 36 + 8 + 539, [](BlockSpan b) { writeR3e(b, kRaceRoomCar); },
         [](BlockBytes b, TelemetryRecord& r) {
             std::array<std::uint8_t, RaceRoomSlot::kCopySize> copy{};
             fillRaceRoomRecord(b, copy, r);
             return raceRoomState(b) != RaceRoomState::TooShort;
         }},
        {"Project CARS 2", kPcars2Bytes, 6967,
         [](BlockSpan b) {
             writePcars2(b, {.orientation = {1, 1, 1}});
         },
         [](BlockBytes b, TelemetryRecord& r) {
             if (!pcars2Playing(b)) return false;
             fillPcars2Record(b, r);
             return true;
         }},
        {"iRacing", kIRacingBytes, 111, [](BlockSpan b) { IRacingBlockWriter().writeHeader(b, 1); },
         [](BlockBytes b, TelemetryRecord& r) {
             std::int32_t last = INT32_MIN;
             std::array<std::uint8_t, 64> scratch{};
             return parseIRacingBlock(b, last, scratch, r) != IRacingFrame::NoData;
         }},
        {"rFactor 2", kRFactor2Bytes, 351,
         [](BlockSpan b) {
             writeRFactor2(b, {.timeStamp = 5, .localVelocity = {1, 1, 1}});
         },
         [](BlockBytes b, TelemetryRecord& r) {
             double last = kNoTimeStampSeen;
             return parseRFactor2Block(b, last, r) == 1;
         }},
        {"truck", kTruckBytes, 116, [](BlockSpan b) { writeTruck(b, {.pitch = 0.1f, .speed = 3}); },
         [](BlockBytes b, TelemetryRecord& r) { return parseTruckBlock(b, r) == 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.game);
        Block full(c.size);
        c.write(full);
        TelemetryRecord record;
        ASSERT_TRUE(c.read(full, record)) << "the whole block is read";
        const Block cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.cut));
        TelemetryRecord untouched;
        EXPECT_FALSE(c.read(cut, untouched));
        EXPECT_EQ(untouched.gameData, TelemetryRecord{}.gameData);
    }
}

TEST(TruckBlock, AnglesStayWithinTheirRanges) {
    Block block(kTruckBytes);
    TelemetryRecord record;
    writeTruck(block, {.heading = 1.2f, .pitch = 0.3f, .roll = -0.6f});
    ASSERT_EQ(parseTruckBlock(block, record), 1);
    expectChannels(record, {{yaw_position, 360.0}, {pitch_position, 90.0}, {roll_position, 180.0}}, 0.0);
    writeTruck(block, {.heading = -0.1f, .pitch = -0.3f, .roll = 0.6f});
    ASSERT_EQ(parseTruckBlock(block, record), 1);
    expectChannels(record, {{yaw_position, 0.0}, {pitch_position, -90.0}, {roll_position, -180.0}}, 0.0);
}

// ---- iRacing's header

// A truck game that closes its block and publishes it again: the reader either reads the new frames
// (Windows keeps a block for as long as the reader holds it, so the game maps the same one again) or
// reads nothing, so that the game is found again at once; it never goes on taking the last frame of a
// block that is gone for live data (which would hold the rig until the frozen-data watchdog).
// A game that closes its block and publishes it again, or crashes and comes back, is read afresh at
// once; the last frame of the old block, standing still, is never taken for new data (the frozen-data
// watchdog would hold the rig on it, then drop the game).
TEST(BlockGames, AfterTheGamePublishesAgainTheLastFrameOfTheOldBlockIsNeverTakenForNew) {
    std::vector<std::pair<BlockGame, int>> games = {{BlockGame::Truck, kEts2}};
#if !defined(_WIN32)
    // The blocks the library lets go of the name of (a closed block shows by its name alone): Windows
    // cannot tell the block published again from the old one (see SharedMemoryName::leadsTo).
    games.insert(games.end(), {{BlockGame::Pcars2, kPcars2}, {BlockGame::RaceRoom, kRaceRoom}});
#endif
    for (const auto& [blockGame, slot] : games) {
        SCOPED_TRACE(slot);
        auto game = std::make_unique<GameBlockPublisher>(blockGame, motionScene(0.05, 1.0));
        ASSERT_TRUE(game->started());
        auto source = connected(slot);
        ASSERT_TRUE(eventually([&] { return readGameFrame(*source) == 1; }));
        const auto freshReads = [&] {
            int fresh = 0;
            auto last = source->record.gameData;
            for (int i = 0; i < 20; ++i) {
                if (readGameFrame(*source) == 1 && source->record.gameData != last) ++fresh;
                last = source->record.gameData;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return fresh;
        };
        game->command(PublisherCommand::Close);
        ASSERT_TRUE(game->waitBlockOpen(false));
        game->command(PublisherCommand::Publish);
        ASSERT_TRUE(game->waitBlockOpen(true));
        ASSERT_TRUE(game->waitFrames(20));
        EXPECT_GE(freshReads(), 10) << "published again";

        game->kill();  // the game crashes: its process ends without closing anything
        game.reset();
        game = std::make_unique<GameBlockPublisher>(blockGame, motionScene(0.05, 1.0));
        ASSERT_TRUE(game->started());
        ASSERT_TRUE(game->waitFrames(20));
        EXPECT_GE(freshReads(), 10) << "back after its process ended";
    }
}

TEST(IRacingBlock, AHeaderThatDoesNotFitTheBlockYieldsNoData) {
    struct Corruption {
        const char* what;
        std::size_t offset;
        std::int32_t value;
    };
    const Corruption corruptions[] = {
        {"negative variable count", 24, -1},
        {"variable headers past the end", 28, static_cast<std::int32_t>(kIRacingBytes - 100)},
        {"more buffers than the header has entries", 32, 5},
        {"negative buffer length", 36, -8},
        {"buffers longer than the block", 36, static_cast<std::int32_t>(kIRacingBytes)},
        {"a buffer past the end", 48 + 16 + 4, static_cast<std::int32_t>(kIRacingBytes - 8)},
        {"a negative buffer offset", 48 + 32 + 4, -4096},
    };
    for (const Corruption& c : corruptions) {
        SCOPED_TRACE(c.what);
        Block block(kIRacingBytes);
        IRacingBlockWriter writer;
        writer.writeHeader(block, 1);
        writer.writeFrame(block, 2, {3.0f, 0, 9.5f, 0, 0, 0, 0, 0, -0.06f});
        putI32(block, c.offset, c.value);
        std::int32_t lastTick = 1;
        std::array<std::uint8_t, IRacingSlot::kScratchSize> scratch{};
        TelemetryRecord record;
        EXPECT_FALSE(parseIRacingHeader(block).has_value());
        EXPECT_EQ(parseIRacingBlock(block, lastTick, scratch, record), IRacingFrame::NoData);
        EXPECT_EQ(record.gameData, TelemetryRecord{}.gameData);
    }
}

// The dump of a live block (a replay was playing, so the car's motion values are 0).
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

TEST(IRacingCapture, TheHeaderOfALiveBlockLeadsToTheNewestBufferAndTheExactlyNamedVariables) {
    Block capture = readCapture("iracing/live_test_file.ibt");
    ASSERT_EQ(capture.size(), 1191936U);
    const auto header = parseIRacingHeader(capture);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->variableCount, 323U);
    EXPECT_EQ(header->bufferCount, 3U);
    const IRacingBuffer newest = newestIRacingBuffer(capture, *header);
    EXPECT_EQ(newest.index, 1U);
    EXPECT_EQ(newest.tick, 2005);

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

    // Distinct values in each buffer, placed by the test's own walk: the reader takes buffer 1's.
    for (std::size_t buffer = 0; buffer < 3; ++buffer) {
        const auto base = static_cast<std::size_t>(i32At(capture, 48 + 16 * buffer + 4));
        putF32(capture, base + offsetByOwnWalk(capture, "VertAccel"), 9.0f + static_cast<float>(buffer));
        putF32(capture, base + offsetByOwnWalk(capture, "Pitch"), -0.01f * static_cast<float>(buffer + 1));
    }
    std::int32_t lastTick = 2004;
    std::array<std::uint8_t, IRacingSlot::kScratchSize> scratch{};
    TelemetryRecord record;
    ASSERT_EQ(parseIRacingBlock(capture, lastTick, scratch, record), IRacingFrame::NewFrame);
    EXPECT_EQ(lastTick, 2005);
    expectChannels(record, {{vertica_accel_g, 10.0}, {pitch_position, 0.02 / kDeg}}, 1e-5);
}

}  // namespace
}  // namespace tarvelmond::test
