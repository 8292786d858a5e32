// The shared-memory games against blocks that another process publishes under the games' real names
// and sizes, running under the games' executable names: detection, connection, the readers through
// readGameFrame, what they give when the game pauses, hangs or closes its block, and disconnection.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>

#include "block_publisher.h"
#include "games/game_source.h"
#include "games/shared_memory_readers.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr double g = 9.80665;
constexpr double kDeg = std::numbers::pi / 180.0;

std::unique_ptr<GameSource> detectedSource(int expectedSlot) {
    auto source = std::make_unique<GameSource>();
    EXPECT_EQ(detectGame(*source), 1);
    EXPECT_EQ(getGameId(*source), expectedSlot);
    return source;
}

// Reads until the reader reports data (or 5 s pass): the game writes every few milliseconds.
bool readUntilData(GameSource& source) {
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        if (readGameFrame(source) == 1) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

bool readUntil(GameSource& source, const std::function<bool()>& condition) {
    const auto deadline = Clock::now() + 5s;
    while (Clock::now() < deadline) {
        readGameFrame(source);
        if (condition()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// After the frames already written have been taken, a game that writes nothing more yields no data.
void expectNoDataOnceDrained(GameSource& source) {
    for (int i = 0; i < 3; ++i)
        readGameFrame(source);
    const double frameTime = source.record.frameTimeMs;
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(readGameFrame(source), 0);
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(source.record.frameTimeMs, frameTime) << "no data, no timer update";
}

TEST(AssettoCorsaGame, ReadsEachNewPacketAndNothingWhileTheGameHangs) {
    BlockScene scene;
    scene.ac = {.packetId = 100,
                .accG = {0.4f, 0.1f, -0.3f},
                .heading = 0.7f,
                .pitch = -0.05f,
                .roll = 0.03f,
                .localAngularVel = {0.1f, 0.2f, 0.3f},
                .localVelocity = {0.5f, 0.0f, 42.0f}};
    GameBlockPublisher game(BlockGame::AssettoCorsa, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kAssettoCorsa);
    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_TRUE(readUntilData(*source));
    const TelemetryRecord& r = source->record;
    EXPECT_NEAR(r.get(Channel::lateral_accel), 0.4 * 9.81, 1e-5);
    EXPECT_NEAR(r.get(Channel::vertica_accel), -0.1 * 9.81, 1e-5);
    EXPECT_NEAR(r.get(Channel::longitu_accel), -0.3 * 9.81, 1e-5);
    EXPECT_NEAR(r.get(Channel::longitu_speed), 42.0, 1e-5);
    EXPECT_NEAR(r.get(Channel::pitch_position), -0.05 / kDeg, 1e-4);
    EXPECT_NEAR(r.get(Channel::longitu_gravi), g * std::sin(-0.05), 1e-5);
    EXPECT_NEAR(r.get(Channel::lateral_accel_g),
                r.get(Channel::lateral_accel) + r.get(Channel::lateral_gravi), 1e-9);
    EXPECT_GE(source->sharedMemory.assettoCorsa.lastPacket, 100U) << "the game's packet counter";

    game.command(PublisherCommand::Freeze);
    ASSERT_TRUE(game.waitBlockOpen(true));
    std::this_thread::sleep_for(20ms);
    expectNoDataOnceDrained(*source);
    game.command(PublisherCommand::Publish);
    EXPECT_TRUE(readUntilData(*source)) << "packets move again";

    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(source->sharedMemory.assettoCorsa.physics.isOpen());
    EXPECT_EQ(readGameFrame(*source), 0);
}

TEST(AssettoCorsaEvoGame, IsFoundByItsProcessAndReadLikeAssettoCorsa) {
    BlockScene scene;
    scene.ac = {.packetId = 1, .accG = {-0.2f, 0.0f, 0.6f}, .roll = -0.1f};
    GameBlockPublisher game(BlockGame::AssettoCorsaEvo, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kAssettoCorsaEvo);
    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_TRUE(readUntilData(*source));
    EXPECT_NEAR(source->record.get(Channel::lateral_accel), -0.2 * 9.81, 1e-5);
    EXPECT_NEAR(source->record.get(Channel::longitu_accel), 0.6 * 9.81, 1e-5);
    EXPECT_NEAR(source->record.get(Channel::roll_position), 0.1 / kDeg, 1e-4);
    EXPECT_EQ(disconnectGame(*source), 1);
}

BlockScene raceRoomDriving(std::int32_t major, std::int32_t minor) {
    BlockScene scene;
    scene.r3e = {.versionMajor = major,
                 .versionMinor = minor,
                 .localVelocity = {2.0, 0.1, -35.0},
                 .localAcceleration = {-4.0, 0.5, 2.0},
                 .orientation = {0.02, 0.9, -0.04},
                 .angularAcceleration = {0.1, 0.2, 0.3},
                 .angularVelocity = {0.05, -0.25, 0.15}};
    return scene;
}

TEST(RaceRoomGame, ReadsTheCurrentLayoutAndStopsWhenPausedOrWhenTheBlockIsClosed) {
    BlockScene scene = raceRoomDriving(3, 4);
    GameBlockPublisher game(BlockGame::RaceRoom, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kRaceRoom);
    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_EQ(readGameFrame(*source), 1) << "every call with a valid block counts";
    const TelemetryRecord& r = source->record;
    EXPECT_DOUBLE_EQ(r.get(Channel::lateral_speed), -2.0);
    EXPECT_DOUBLE_EQ(r.get(Channel::longitu_speed), 35.0);
    EXPECT_DOUBLE_EQ(r.get(Channel::lateral_accel), 4.0);
    EXPECT_DOUBLE_EQ(r.get(Channel::vertica_accel), 0.5);
    EXPECT_NEAR(r.get(Channel::yaw_position), -0.9 / kDeg, 1e-9);
    EXPECT_NEAR(r.get(Channel::pitch_position), 0.02 / kDeg, 1e-9);
    EXPECT_NEAR(r.get(Channel::roll_position), -0.04 / kDeg, 1e-9);
    EXPECT_NEAR(r.get(Channel::yaw_speed), 0.25 / kDeg, 1e-9);
    EXPECT_NEAR(r.get(Channel::roll_accel), 0.3 / kDeg, 1e-9);
    EXPECT_NEAR(r.get(Channel::vertica_accel_g), 0.5 + g * std::cos(0.02) * std::cos(-0.04), 1e-9);
    EXPECT_EQ(readGameFrame(*source), 1);

    scene.r3e.gamePaused = 1;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    EXPECT_EQ(readGameFrame(*source), 0);
    EXPECT_FALSE(source->sharedMemory.raceRoom.dataValid);
    scene.r3e.gamePaused = 0;
    scene.r3e.gameInReplay = 1;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    EXPECT_EQ(readGameFrame(*source), 0);
    scene.r3e.gameInReplay = 0;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    EXPECT_EQ(readGameFrame(*source), 1);
    EXPECT_TRUE(source->sharedMemory.raceRoom.dataValid);

    // The game closes its block: the view still shows the last frame, but the name is gone.
    game.command(PublisherCommand::Close);
    ASSERT_TRUE(game.waitBlockOpen(false));
    EXPECT_EQ(readGameFrame(*source), 0);
    EXPECT_FALSE(source->sharedMemory.raceRoom.dataValid);
    EXPECT_EQ(disconnectGame(*source), 1);
}

TEST(RaceRoomGame, AnOlderLayoutIsReadAndAnUnknownVersionGivesNoData) {
    {
        GameBlockPublisher game(BlockGame::RaceRoom, raceRoomDriving(2, 11));
        ASSERT_TRUE(game.started());
        auto source = detectedSource(kRaceRoom);
        ASSERT_EQ(connectGame(*source), 1);
        ASSERT_EQ(readGameFrame(*source), 1);
        EXPECT_DOUBLE_EQ(source->record.get(Channel::longitu_speed), 35.0);
        EXPECT_EQ(disconnectGame(*source), 1);
    }
    GameBlockPublisher game(BlockGame::RaceRoom, raceRoomDriving(4, 0));
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kRaceRoom);
    ASSERT_EQ(connectGame(*source), 1);
    EXPECT_EQ(readGameFrame(*source), 0);
    EXPECT_EQ(source->record.get(Channel::longitu_speed), 0.0);
}

TEST(Pcars2Game, ReadsWhilePlayingAndStopsWhenTheStateChangesOrTheBlockCloses) {
    BlockScene scene;
    scene.pcars2 = {.orientation = {0.5f, 0.02f, -0.01f},
                    .localVelocity = {0.2f, 30.0f, 0.1f},
                    .angularVelocity = {0.1f, 0.0f, 0.0f},
                    .localAcceleration = {-1.0f, 2.5f, 0.3f}};
    GameBlockPublisher game(BlockGame::Pcars2, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kPcars2);
    ASSERT_EQ(connectGame(*source), 1);
    EXPECT_EQ(connectGame(*source), 0) << "already connected";
    ASSERT_EQ(readGameFrame(*source), 1);
    EXPECT_NEAR(source->record.get(Channel::longitu_speed), 30.0, 1e-5);
    EXPECT_NEAR(source->record.get(Channel::longitu_accel), 2.5, 1e-6);
    EXPECT_NEAR(source->record.get(Channel::yaw_position), -0.5 / kDeg, 1e-4);
    EXPECT_NEAR(source->record.get(Channel::yaw_speed), -0.1 / kDeg, 1e-4);

    scene.pcars2.gameState = 1;  // in the menus
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    EXPECT_EQ(readGameFrame(*source), 0);
    EXPECT_FALSE(source->sharedMemory.pcars2.dataValid);
    scene.pcars2.gameState = kPcars2Playing;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    EXPECT_EQ(readGameFrame(*source), 1);

    game.command(PublisherCommand::Close);
    ASSERT_TRUE(game.waitBlockOpen(false));
    EXPECT_EQ(readGameFrame(*source), 0) << "the block's name is gone";
    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(source->sharedMemory.pcars2.block.isOpen());
}

BlockScene iRacingDriving() {
    BlockScene scene;
    scene.iRacing[kLatAccel] = -2.0f;
    scene.iRacing[kLongAccel] = 1.0f;
    scene.iRacing[kVertAccel] = 9.6f;
    scene.iRacing[kYawRate] = 0.3f;
    scene.iRacing[kPitch] = 0.05f;
    scene.iRacing[kRoll] = -0.02f;
    scene.iRacing[kYaw] = 2.0f;
    scene.iRacingFirstTick = 1000;
    return scene;
}

TEST(IRacingGame, ReadsRotatingBuffersFollowsARestartAndStopsWithTheSession) {
    BlockScene scene = iRacingDriving();
    GameBlockPublisher game(BlockGame::IRacing, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kIRacing);
    ASSERT_EQ(connectGame(*source), 1);
    IRacingSlot& slot = source->sharedMemory.iRacing;
    EXPECT_TRUE(slot.mapped);
    EXPECT_GE(slot.block.size(), kIRacingBytes) << "the whole mapping";
    ASSERT_TRUE(readUntil(
        *source, [&] { return std::fabs(source->record.get(Channel::lateral_accel_g) - 2.0) < 1e-6; }));
    const TelemetryRecord& r = source->record;
    EXPECT_NEAR(r.get(Channel::vertica_accel_g), 9.6, 1e-5);
    EXPECT_NEAR(r.get(Channel::longitu_accel_g), 1.0, 1e-6);
    EXPECT_NEAR(r.get(Channel::pitch_position), -0.05 / kDeg, 1e-4);
    EXPECT_NEAR(r.get(Channel::yaw_speed), 0.3, 1e-6);
    EXPECT_NEAR(r.get(Channel::vertica_accel), 9.6 - g * std::cos(-0.05) * std::cos(-0.02), 1e-5);
    EXPECT_GE(slot.lastTick, 1000);
    // Between the game's frames (60 a second) the reader still reports the block as live.
    EXPECT_EQ(readGameFrame(*source), 1);

    // The game restarts its session: ticks count from 3 again.
    const std::int32_t before = slot.lastTick;
    scene.iRacingFirstTick = 3;
    scene.iRacing[kVertAccel] = 8.5f;
    scene.restart = 1;
    game.setScene(scene);
    ASSERT_TRUE(readUntil(*source, [&] { return slot.lastTick < before; })) << "the lower count is adopted";
    EXPECT_TRUE(readUntil(*source, [&] { return std::fabs(r.get(Channel::vertica_accel_g) - 8.5) < 1e-5; }))
        << "and the following frames are read";

    scene.iRacingStatus = 0;
    game.setScene(scene);
    EXPECT_TRUE(readUntil(*source, [&] { return slot.lastTick == kNoTickSeen; }));
    EXPECT_EQ(readGameFrame(*source), 0) << "no session, no data";

    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(slot.block.isOpen());
    EXPECT_FALSE(slot.dataValidEvent.isOpen());
    EXPECT_FALSE(slot.mapped || slot.connected);
}

TEST(IRacingGame, AVariableTheGameDoesNotListCountsAsNoMotion) {
    BlockScene scene = iRacingDriving();
    scene.iRacingMissing = 1U << kLatAccel | 1U << kPitch;
    GameBlockPublisher game(BlockGame::IRacing, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kIRacing);
    ASSERT_EQ(connectGame(*source), 1);
    source->record.set(Channel::pitch_position, 33.0);
    ASSERT_TRUE(readUntil(*source, [&] { return source->record.get(Channel::pitch_position) == 0.0; }));
    EXPECT_EQ(source->record.get(Channel::lateral_accel), 0.0);
    EXPECT_NEAR(source->record.get(Channel::lateral_accel_g), g * std::sin(-0.02), 1e-6)
        << "the gravity component alone";
    EXPECT_NEAR(source->record.get(Channel::vertica_accel_g), 9.6, 1e-5);
}

TEST(IRacingGame, ALiveBlockRecordedFromTheGameIsParsedInPlace) {
    GameBlockPublisher game(BlockGame::IRacing, {}, {},
                            std::string(TARVELMOND_CAPTURES_DIR) + "/iracing/live_test_file.ibt");
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kIRacing);
    ASSERT_EQ(connectGame(*source), 1);
    const BlockBytes view = viewBytes(source->sharedMemory.iRacing.block);
    ASSERT_GE(view.size(), 1191936U);
    const auto header = parseIRacingHeader(view);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->variableCount, 323U);
    EXPECT_EQ(header->bufferCount, 3U);
    EXPECT_EQ(newestIRacingBuffer(view, *header).tick, 2005);
    const TelemetryRecord before = source->record;
    EXPECT_EQ(readGameFrame(*source), 1);
    EXPECT_EQ(source->sharedMemory.iRacing.lastTick, 2005) << "the newest tick, adopted";
    EXPECT_EQ(source->record.get(Channel::vertica_accel_g), before.get(Channel::vertica_accel_g));
}

BlockScene rFactor2Driving() {
    BlockScene scene;
    const double c = std::cos(20 * kDeg), s = std::sin(20 * kDeg);
    // Turned by -20 degrees about the game's up axis (y): a heading of 20.
    scene.rf2 = {.timeStamp = 100.0,
                 .localVelocity = {0.3, 0.0, -25.0},
                 .localAcceleration = {2.0, 0.1, -1.0},
                 .orientation = {c, 0, -s, 0, 1, 0, s, 0, c},
                 .localRotation = {0.0, 0.4, 0.0}};
    return scene;
}

TEST(RFactor2Game, WaitsForThePluginsDataReadsForwardTimeAndReleasesTheBlock) {
    BlockScene scene = rFactor2Driving();
    scene.rf2.firstWord = kRFactor2NoData;
    GameBlockPublisher game(BlockGame::RFactor2, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kRFactor2);
    RFactor2Slot& slot = source->sharedMemory.rFactor2;
    EXPECT_EQ(connectGame(*source), 0) << "the plug-in has no data yet";
    EXPECT_TRUE(slot.openFailed);
    EXPECT_FALSE(slot.block.isOpen());

    scene.rf2.firstWord = 0;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    ASSERT_EQ(connectGame(*source), 1);
    EXPECT_FALSE(slot.openFailed);
    ASSERT_TRUE(readUntilData(*source));
    EXPECT_NEAR(source->record.get(Channel::yaw_position), 20.0, 1e-9);
    EXPECT_NEAR(source->record.get(Channel::pitch_position), 0.0, 1e-9);
    EXPECT_DOUBLE_EQ(source->record.get(Channel::longitu_speed), 25.0);
    EXPECT_DOUBLE_EQ(source->record.get(Channel::lateral_accel), -2.0);
    EXPECT_NEAR(source->record.get(Channel::yaw_speed), -0.4 / kDeg, 1e-9);
    EXPECT_GE(slot.lastTimeStamp, 100.0);

    game.command(PublisherCommand::Freeze);
    std::this_thread::sleep_for(20ms);
    expectNoDataOnceDrained(*source);

    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(slot.block.isOpen()) << "the view and mapping are released";
    EXPECT_FALSE(slot.mapped || slot.connected);

    // The game's session restarted meanwhile: a new connection reads its clock from where it is.
    scene.rf2.timeStamp = 1.0;
    scene.rf2.localVelocity = {0.0, 0.0, -12.0};
    scene.restart = 1;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    source->active[kRFactor2].store(true);
    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_TRUE(readUntilData(*source));
    EXPECT_DOUBLE_EQ(source->record.get(Channel::longitu_speed), 12.0);
}

TEST(TruckGame, ReadsWhileTheGameRunsAndNothingWhenItStops) {
    BlockScene scene;
    scene.truck = {.heading = 0.125f,
                   .pitch = 0.01f,
                   .speed = 18.0f,
                   .rpm = 1200.0f,
                   .linearAcceleration = {0.5f, 0.0f, -1.0f}};
    GameBlockPublisher game(BlockGame::Truck, scene);
    ASSERT_TRUE(game.started());
    auto source = detectedSource(kEts2);
    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_EQ(readGameFrame(*source), 1);
    EXPECT_NEAR(source->record.get(Channel::yaw_position), 45.0, 1e-4);
    EXPECT_NEAR(source->record.get(Channel::pitch_position), 3.6, 1e-4);
    EXPECT_NEAR(source->record.get(Channel::speed), 18.0, 1e-5);
    EXPECT_NEAR(source->record.get(Channel::rpm), 1200.0, 1e-5);
    EXPECT_NEAR(source->record.get(Channel::longitu_accel), 1.0, 1e-6);
    EXPECT_NEAR(source->record.get(Channel::longitu_accel_g), 1.0 + g * std::sin(3.6 * kDeg), 1e-5);

    scene.truck.running = 0;
    game.setScene(scene);
    ASSERT_TRUE(game.waitFrames(2));
    EXPECT_EQ(readGameFrame(*source), 0);
    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(source->sharedMemory.truck.block.isOpen());
}

}  // namespace
}  // namespace tarvelmond::test
