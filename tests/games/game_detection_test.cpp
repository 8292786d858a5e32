// Detection and connection of the game slots against the real things: games sending to their UDP
// ports, the NoLimits 2 server, shared-memory blocks and processes under the games' names, and a
// stand-in for the flight simulator's client.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fake_game_process.h"
#include "game_packets.h"
#include "games/game_source.h"
#include "nolimits_server.h"
#include "platform/shared_memory.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using platform::SharedMemory;
using platform::ViewAccess;
using Clock = std::chrono::steady_clock;

std::unique_ptr<GameSource> freshSource() {
    return std::make_unique<GameSource>();
}

int activeFlags(const GameSource& source) {
    int count = 0;
    for (const auto& flag : source.active)
        count += flag.load() ? 1 : 0;
    return count;
}

// Whether this process could take the port itself right now.
bool portIsFree(int port) {
    UdpPort probe;
    const bool opened = probe.openUdpPort(port) == 1;
    if (opened) probe.closeUdpPort();
    return opened;
}

// A block as a game publishes it, with a 32-bit word written at an offset.
SharedMemory publish(const char* name, std::size_t size, std::size_t offset = 0, std::uint32_t word = 0) {
    SharedMemory block;
    EXPECT_TRUE(block.createOrOpen(name, size, ViewAccess::ReadWrite)) << name;
    if (block.isOpen()) std::memcpy(block.writableData() + offset, &word, sizeof word);
    return block;
}

TEST(GameDetection, WithNoGameEveryStepIsVisitedAndNoFlagStays) {
    auto source = freshSource();
    const auto start = Clock::now();
    EXPECT_EQ(detectGame(*source), 0);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(170)) << "seventeen pauses of 10 ms";
    EXPECT_EQ(activeFlags(*source), 0);
    EXPECT_EQ(getGameId(*source), -1);
    EXPECT_EQ(connectGame(*source), 0);
    EXPECT_EQ(disconnectGame(*source), 0);
    TelemetryRecord untouched;
    EXPECT_EQ(readGameFrame(*source), 0);
    EXPECT_EQ(source->record.frameTimeMs, untouched.frameTimeMs);
}

TEST(GameDetection, AStopRequestEndsTheSearchEarly) {
    auto source = freshSource();
    std::atomic<bool> keepSearching{false};
    const auto start = Clock::now();
    EXPECT_EQ(detectGame(*source, &keepSearching), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST(GameDetection, UdpGamesAreFoundWhileTheySendAndTheirPortIsHeldOnlyWhileConnected) {
    struct Game {
        int slot;
        Bytes packet;
    };
    const std::vector<Game> games = {
        {kXplane, xplanePacket({{17, {10.0f}}, {135, {0.5f}}})},
        {kDirtRally2, dirtRallyPacket({})},
        {kCondor2,
         condorText({{"pitch", "0.1"}, {"ax", "0.5"}, {"vx", "1.0"}, {"vy", "20.0"}, {"altitude", "1200"}})},
        {kWrc, wrcPacket({})},
        {kBeamNg, beamNgPacket({})},
    };
    for (const Game& game : games) {
        SCOPED_TRACE(gameDisplayName(game.slot));
        auto source = freshSource();
        const int port = udpGamePort(game.slot);
        UdpGameSender sender(port);
        sender.start(game.packet);
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), game.slot);
        EXPECT_EQ(activeFlags(*source), 1);
        EXPECT_TRUE(portIsFree(port)) << "detection leaves no socket open";
        ASSERT_EQ(connectGame(*source), 1);
        EXPECT_FALSE(portIsFree(port)) << "the reader holds the game's port";
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (readGameFrame(*source) == 0 && Clock::now() < deadline) {
        }
        EXPECT_LT(Clock::now(), deadline) << "frames arrive through the connected port";
        EXPECT_EQ(disconnectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), -1);
        EXPECT_TRUE(portIsFree(port));
    }
}

TEST(GameDetection, GamesKnownByTheirProcessMustRunAndSend) {
    struct Game {
        int slot;
        const char* process;
        Bytes packet;
    };
    const std::vector<Game> games = {
        {kDcs, "DCS64.exe", dcsLine(std::vector<double>(25, 1.0))},
        {kF1, "F1_23_64.exe", f1MotionPacket(2023, 0, {})},
        {kLfs, "LFS.exe", lfsPacket({})},
    };
    for (const Game& game : games) {
        SCOPED_TRACE(game.process);
        auto source = freshSource();
        UdpGameSender sender(udpGamePort(game.slot));
        sender.start(game.packet);
        EXPECT_EQ(detectGame(*source), 0) << "sending alone is not enough";
        FakeGameProcess process(game.process);
        ASSERT_TRUE(process.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), game.slot);
        sender.stop();
        process.end();
    }
}

TEST(GameDetection, NoLimitsIsFoundByItsTelemetryServer) {
    auto source = freshSource();
    NoLimitsServer server;
    ASSERT_TRUE(server.listening());
    ASSERT_EQ(detectGame(*source), 1);
    EXPECT_EQ(getGameId(*source), kNoLimits2);
    ASSERT_EQ(connectGame(*source), 1);
    EXPECT_TRUE(source->noLimits.connected);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (readGameFrame(*source) == 0 && Clock::now() < deadline) {
    }
    EXPECT_GT(source->record.get(Channel::ldg_gear), 0.0) << "a telemetry frame came through";
    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(source->noLimits.connected);
    EXPECT_FALSE(source->noLimits.socket.valid());
    EXPECT_GE(server.connections(), 2U) << "one connection for the handshake, one for reading";
}

TEST(GameDetection, AssettoCorsaNeedsItsGraphicsStatusToBeExactlyLive) {
    for (std::uint32_t status : {0U, 1U, 3U}) {
        auto source = freshSource();
        SharedMemory graphics = publish("Local\\acpmf_graphics", 1320, 4, status);
        EXPECT_EQ(detectGame(*source), 0) << "status " << status;
    }
    auto source = freshSource();
    SharedMemory graphics = publish("Local\\acpmf_graphics", 1320, 4, 2);
    SharedMemory physics = publish("Local\\acpmf_physics", 712);
    ASSERT_EQ(detectGame(*source), 1);
    EXPECT_EQ(getGameId(*source), kAssettoCorsa);
    ASSERT_EQ(connectGame(*source), 1);
    EXPECT_TRUE(source->sharedMemory.assettoCorsa.physics.isOpen());
    EXPECT_TRUE(source->sharedMemory.assettoCorsa.graphics.isOpen());
    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(source->sharedMemory.assettoCorsa.physics.isOpen());
    EXPECT_FALSE(source->sharedMemory.assettoCorsa.graphics.isOpen());
}

TEST(GameDetection, SharedMemoryGamesNeedTheirBlockAndWhereNamedTheirProcess) {
    {
        SCOPED_TRACE("RaceRoom");
        auto source = freshSource();
        SharedMemory block = publish("$R3E", 39320);
        EXPECT_EQ(detectGame(*source), 0) << "the block alone is not enough";
        FakeGameProcess game("RRRE64.exe");
        ASSERT_TRUE(game.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kRaceRoom);
        ASSERT_EQ(connectGame(*source), 1);
        const unsigned char* view = source->sharedMemory.raceRoom.block.data();
        EXPECT_EQ(connectGame(*source), 0) << "already connected";
        EXPECT_EQ(source->sharedMemory.raceRoom.block.data(), view) << "the open view is left alone";
        EXPECT_EQ(disconnectGame(*source), 1);
        EXPECT_FALSE(source->sharedMemory.raceRoom.connected);
        EXPECT_FALSE(source->sharedMemory.raceRoom.block.isOpen());
    }
    {
        SCOPED_TRACE("Project CARS 2");
        auto source = freshSource();
        SharedMemory block = publish("$pcars2$", 20700);
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kPcars2);
        ASSERT_EQ(connectGame(*source), 1);
        EXPECT_EQ(connectGame(*source), 0);
        EXPECT_EQ(disconnectGame(*source), 1);
    }
    {
        SCOPED_TRACE("iRacing");
        auto source = freshSource();
        SharedMemory block = publish("Local\\IRSDKMemMapFileName", 4096);
        platform::NamedEvent event;
        ASSERT_TRUE(event.create("Local\\IRSDKDataValidEvent"));
        FakeGameProcess game("iRacingSim64DX11.exe");
        ASSERT_TRUE(game.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kIRacing);
        ASSERT_EQ(connectGame(*source), 1);
        EXPECT_TRUE(source->sharedMemory.iRacing.mapped);
        EXPECT_TRUE(source->sharedMemory.iRacing.dataValidEvent.isOpen());
        EXPECT_EQ(connectGame(*source), 0) << "a second connection closes and starts afresh";
        EXPECT_FALSE(source->sharedMemory.iRacing.block.isOpen());
        EXPECT_EQ(disconnectGame(*source), 1);
    }
    {
        SCOPED_TRACE("rFactor 2");
        auto source = freshSource();
        SharedMemory block = publish("Local\\Tarvelmond_rf2_data", 1888, 0, 1234567890u);
        FakeGameProcess game("rFactor2.exe");
        ASSERT_TRUE(game.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kRFactor2);
        EXPECT_EQ(connectGame(*source), 0) << "the plug-in has no data yet";
        EXPECT_TRUE(source->sharedMemory.rFactor2.openFailed);
        std::memset(block.writableData(), 0, 4);
        ASSERT_EQ(connectGame(*source), 1);
        EXPECT_TRUE(source->sharedMemory.rFactor2.mapped);
        EXPECT_EQ(disconnectGame(*source), 1);
        EXPECT_FALSE(source->sharedMemory.rFactor2.block.isOpen())
            << "no mapping is kept after disconnection";
    }
    {
        SCOPED_TRACE("Euro Truck Simulator 2");
        auto source = freshSource();
        SharedMemory block = publish("SCSTelemetryExample", 177);
        EXPECT_EQ(detectGame(*source), 0);
        FakeGameProcess game("eurotrucks2.exe");
        ASSERT_TRUE(game.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kEts2);
        ASSERT_EQ(connectGame(*source), 1);
        EXPECT_EQ(disconnectGame(*source), 1);
        EXPECT_FALSE(source->sharedMemory.truck.block.isOpen());
    }
    {
        SCOPED_TRACE("Assetto Corsa EVO");
        auto source = freshSource();
        FakeGameProcess game("AssettoCorsaEVO.exe");
        ASSERT_TRUE(game.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kAssettoCorsaEvo);
        ASSERT_EQ(connectGame(*source), 1);
        EXPECT_EQ(disconnectGame(*source), 1);
    }
}

// A stand-in for the flight simulator's client that records what it is asked.
struct ClientLog {
    int opens = 0;
    int closes = 0;
    std::vector<std::string> definitions;
    std::vector<std::uint32_t> request;
    std::vector<std::pair<std::uint32_t, std::string>> events;
    std::int32_t subscribeResult = 0;
    int handles = 0;
};
ClientLog clientLog;
int clientHandles[2];

const SimClientOps kRecordingClient = {
    .clientOpen = [](void** handle, const char* name, void*, std::uint32_t, void*,
                     std::uint32_t index) -> std::int32_t {
        if (std::string(name) != "Tarvelmond" || index != 0) return -1;
        *handle = &clientHandles[clientLog.handles++ % 2];
        ++clientLog.opens;
        return 0;
    },
    .clientClose = [](void*) -> std::int32_t {
        ++clientLog.closes;
        return 0;
    },
    .addToDataDefinition = [](void*, std::uint32_t definition, const char* variable, const char* unit,
                              std::int32_t type, float epsilon, std::uint32_t datum) -> std::int32_t {
        clientLog.definitions.push_back(std::to_string(definition) + " " + variable + " / " + unit + " / " +
                                        std::to_string(type) + " / " + std::to_string(epsilon) + " / " +
                                        std::to_string(datum));
        return 0;
    },
    .requestDataOnSimObject = [](void*, std::uint32_t request, std::uint32_t definition, std::uint32_t object,
                                 std::uint32_t period, std::uint32_t flags, std::uint32_t origin,
                                 std::uint32_t interval, std::uint32_t limit) -> std::int32_t {
        clientLog.request = {request, definition, object, period, flags, origin, interval, limit};
        return 0;
    },
    .subscribeToSystemEvent = [](void*, std::uint32_t event, const char* name) -> std::int32_t {
        clientLog.events.emplace_back(event, name);
        return std::string(name) == "Sim" ? clientLog.subscribeResult : 0;
    },
    .getNextDispatch = [](void*, const std::uint8_t**, std::uint32_t*) -> std::int32_t { return -1; },
};

TEST(FlightSimulatorSlots, AnOpenClientStaysOpenUntilItsSimulatorRuns) {
    clientLog = {};
    auto source = freshSource();
    source->simClient = kRecordingClient;
    EXPECT_EQ(detectGame(*source), 0) << "client server reachable, but neither simulator runs";
    EXPECT_EQ(clientLog.opens, 2);
    EXPECT_NE(source->msfs2020.handle, nullptr);
    ASSERT_EQ(detectGame(*source), 1) << "the open handle counts without a process test";
    EXPECT_EQ(getGameId(*source), kMsfs2020);
    EXPECT_EQ(clientLog.opens, 2);

    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_EQ(clientLog.definitions.size(), 17U);
    EXPECT_EQ(clientLog.definitions.front(),
              "0 ACCELERATION BODY X / meter per second squared / 4 / 0.000000 / 4294967295");
    EXPECT_EQ(clientLog.definitions[15], "0 GEAR IS ON GROUND / Bool / 2 / 0.000000 / 4294967295");
    EXPECT_EQ(clientLog.definitions[16], "0 SIM ON GROUND / Bool / 2 / 0.000000 / 4294967295");
    EXPECT_EQ(clientLog.request, (std::vector<std::uint32_t>{0, 0, 0, 3, 0, 0, 0, 0}));
    const std::vector<std::pair<std::uint32_t, std::string>> events = {
        {6, "Crashed"}, {7, "Quit"}, {4, "SimStart"}, {5, "SimStop"}, {3, "Sim"}};
    EXPECT_EQ(clientLog.events, events);

    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_EQ(source->msfs2020.handle, nullptr);
    releaseIdleChannels(*source);
    EXPECT_EQ(source->msfs2024.handle, nullptr);
    EXPECT_EQ(clientLog.closes, 2);
}

TEST(FlightSimulatorSlots, TheNewerSimulatorIsFoundByItsProcessAndAFailedRegistrationClosesTheClient) {
    clientLog = {};
    clientLog.subscribeResult = -5;
    auto source = freshSource();
    source->simClient = kRecordingClient;
    FakeGameProcess simulator("FlightSimulator2024.exe");
    ASSERT_TRUE(simulator.started());
    ASSERT_EQ(detectGame(*source), 1);
    EXPECT_EQ(getGameId(*source), kMsfs2024);
    EXPECT_EQ(connectGame(*source), 0);
    EXPECT_EQ(source->msfs2024.handle, nullptr);
    EXPECT_EQ(clientLog.closes, 1);
    releaseIdleChannels(*source);
    EXPECT_EQ(clientLog.closes, 2) << "slot 2's handle, kept by detection, is released too";
}

TEST(FlightSimulatorSlots, WithoutAClientTheStepsFail) {
    auto source = freshSource();
    FakeGameProcess simulator("FlightSimulator.exe");
    ASSERT_TRUE(simulator.started());
    EXPECT_EQ(detectGame(*source), 0);
    source->active[kMsfs2020].store(true);
    EXPECT_EQ(connectGame(*source), 0);
}

}  // namespace
}  // namespace tarvelmond::test
