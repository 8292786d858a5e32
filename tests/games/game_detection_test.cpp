// Detection and connection details against the real things: shared-memory blocks and processes under
// the games' names, and a stand-in for the flight simulator's client. That every game is found, read
// and released is game_registry_test.cpp; reading the shared-memory games is in
// shared_memory_games_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fake_game_process.h"
#include "game_test_support.h"
#include "games/game_source.h"
#include "platform/shared_memory.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using platform::SharedMemory;

int activeFlags(const GameSource& source) {
    int count = 0;
    for (const auto& flag : source.active)
        count += flag.load() ? 1 : 0;
    return count;
}

// A block as a game publishes it, with a 32-bit word written at an offset.
SharedMemory publish(const char* name, std::size_t size, std::size_t offset = 0, std::uint32_t word = 0) {
    SharedMemory block;
    EXPECT_TRUE(block.createOrOpen(name, size, platform::ViewAccess::ReadWrite)) << name;
    if (block.isOpen()) std::memcpy(block.writableData() + offset, &word, sizeof word);
    return block;
}

TEST(GameDetection, WithNoGameNothingIsFoundConnectedOrRead) {
    auto source = std::make_unique<GameSource>();
    EXPECT_EQ(detectGame(*source), 0);
    EXPECT_EQ(activeFlags(*source), 0);
    EXPECT_EQ(getGameId(*source), -1);
    EXPECT_EQ(connectGame(*source), 0);
    EXPECT_EQ(disconnectGame(*source), 0);
    EXPECT_EQ(readGameFrame(*source), 0);
}

TEST(GameDetection, AssettoCorsaNeedsItsGraphicsStatusToBeExactlyLive) {
    auto source = std::make_unique<GameSource>();
    for (std::uint32_t status : {1U, 3U}) {  // a replay, a pause
        SharedMemory paused = publish("Local\\acpmf_graphics", 1320, 4, status);
        EXPECT_EQ(detectGame(*source), 0) << "status " << status;
    }
    SharedMemory graphics = publish("Local\\acpmf_graphics", 1320, 4, 2);
    ASSERT_EQ(detectGame(*source), 1);
    EXPECT_EQ(getGameId(*source), kAssettoCorsa);
    ASSERT_EQ(connectGame(*source), 1);
    EXPECT_TRUE(source->reader(kAssettoCorsa).holdsChannel());
    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(source->reader(kAssettoCorsa).holdsChannel());
}

TEST(GameDetection, SharedMemoryGamesNeedTheirBlockAndWhereNamedTheirProcess) {
    struct Game {
        int slot;
        const char* block;  // nullptr: none needed
        std::size_t size;
        const char* process;  // nullptr: found by the block alone
        int secondConnect;    // connecting again while connected
    };
    const Game games[] = {
        {kRaceRoom, "$R3E", 39320, "RRRE64.exe", 0},
        {kPcars2, "$pcars2$", 20700, nullptr, 0},
        {kIRacing, "Local\\IRSDKMemMapFileName", 4096, "iRacingSim64DX11.exe", 0},
        {kRFactor2, "Local\\Tarvelmond_rf2_data", 1888, "rFactor2.exe", 0},
        {kEts2, "SCSTelemetryExample", 177, "eurotrucks2.exe", 1},
        {kAssettoCorsaEvo, nullptr, 0, "AssettoCorsaEVO.exe", 1},
    };
    for (const Game& game : games) {
        SCOPED_TRACE(gameDisplayName(game.slot));
        auto source = std::make_unique<GameSource>();
        SharedMemory block;
        if (game.block != nullptr) block = publish(game.block, game.size);
        platform::NamedEvent event;  // iRacing's data-valid event
        ASSERT_TRUE(event.create("Local\\IRSDKDataValidEvent"));
        std::unique_ptr<FakeGameProcess> process;
        if (game.process != nullptr) {
            if (game.block != nullptr) {
                EXPECT_EQ(detectGame(*source), 0) << "the block alone is not enough";
            }
            process = std::make_unique<FakeGameProcess>(game.process);
            ASSERT_TRUE(process->started());
        }
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), game.slot);
        ASSERT_EQ(connectGame(*source), 1);
        EXPECT_EQ(connectGame(*source), game.secondConnect);
        if (game.slot == kRaceRoom) {
            EXPECT_TRUE(source->reader(kRaceRoom).holdsChannel()) << "the open view is left alone";
        }
        EXPECT_EQ(disconnectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), -1);
    }
}

// A stand-in for the flight simulator's client that records what it is asked.
struct ClientLog {
    int opens = 0, closes = 0, handles = 0;
    std::vector<std::string> definitions;
    std::vector<std::uint32_t> request;
    std::vector<std::pair<std::uint32_t, std::string>> events;
    std::int32_t subscribeResult = 0;
    std::int32_t dispatchResult = kSimClientNoMessage;  // what every getNextDispatch answers
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
    .clientClose = [](void*) -> std::int32_t { return ++clientLog.closes, 0; },
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
    .getNextDispatch = [](void*, const std::uint8_t**, std::uint32_t*) -> std::int32_t {
        return clientLog.dispatchResult;
    },
};

TEST(FlightSimulatorSlots, AnOpenClientStaysOpenUntilItsSimulatorRunsAndRegistersTheData) {
    clientLog = {};
    auto source = std::make_unique<GameSource>();
    source->simClient = kRecordingClient;
    EXPECT_EQ(detectGame(*source), 0) << "client server reachable, but neither simulator runs";
    EXPECT_EQ(clientLog.opens, 2);
    ASSERT_EQ(detectGame(*source), 1) << "the open handle counts without a process test";
    EXPECT_EQ(getGameId(*source), kMsfs2020);
    EXPECT_EQ(clientLog.opens, 2);

    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_EQ(clientLog.definitions.size(), 17U);
    EXPECT_EQ(clientLog.definitions.front(),
              "0 ACCELERATION BODY X / meter per second squared / 4 / 0.000000 / 4294967295");
    EXPECT_EQ(clientLog.definitions.back(), "0 SIM ON GROUND / Bool / 2 / 0.000000 / 4294967295");
    EXPECT_EQ(clientLog.request, (std::vector<std::uint32_t>{0, 0, 0, 3, 0, 0, 0, 0}));
    const std::vector<std::pair<std::uint32_t, std::string>> events = {
        {6, "Crashed"}, {7, "Quit"}, {4, "SimStart"}, {5, "SimStop"}, {3, "Sim"}};
    EXPECT_EQ(clientLog.events, events);

    EXPECT_EQ(disconnectGame(*source), 1);
    EXPECT_FALSE(source->reader(kMsfs2020).holdsChannel());
    releaseIdleChannels(*source);
    EXPECT_FALSE(source->reader(kMsfs2024).holdsChannel());
    EXPECT_EQ(clientLog.closes, 2);
}

TEST(FlightSimulatorSlots, TheNewerSimulatorIsFoundByItsProcessAndAFailedRegistrationClosesTheClient) {
    clientLog = {};
    clientLog.subscribeResult = -5;
    auto source = std::make_unique<GameSource>();
    source->simClient = kRecordingClient;
    FakeGameProcess simulator("FlightSimulator2024.exe");
    ASSERT_TRUE(simulator.started());
    ASSERT_EQ(detectGame(*source), 1);
    EXPECT_EQ(getGameId(*source), kMsfs2024);
    EXPECT_EQ(connectGame(*source), 0);
    EXPECT_FALSE(source->reader(kMsfs2024).holdsChannel());
    EXPECT_EQ(clientLog.closes, 1);
    releaseIdleChannels(*source);
    EXPECT_EQ(clientLog.closes, 2) << "slot 2's handle, kept by detection, is released too";

    auto withoutClient = std::make_unique<GameSource>();
    withoutClient->simClient = {};
    FakeGameProcess older("FlightSimulator.exe");
    ASSERT_TRUE(older.started());
    EXPECT_EQ(detectGame(*withoutClient), 0) << "without a client the steps fail";
    withoutClient->active[kMsfs2020].store(true);
    EXPECT_EQ(connectGame(*withoutClient), 0);
}

// Both simulators serve the same port, so a handle slot 2 opened may lead to MSFS2024: while that one's
// process runs, slot 2's open handle no longer counts and the simulator that really runs is reported.
TEST(FlightSimulatorSlots, AnOpenHandleOfTheOlderSimulatorDoesNotHideTheNewerOne) {
    clientLog = {};
    auto source = std::make_unique<GameSource>();
    source->simClient = kRecordingClient;
    EXPECT_EQ(detectGame(*source), 0) << "neither simulator runs: both slots keep their handles";
    ASSERT_TRUE(source->reader(kMsfs2020).holdsChannel());
    ASSERT_TRUE(source->reader(kMsfs2024).holdsChannel());
    {
        FakeGameProcess newer("FlightSimulator2024.exe");
        ASSERT_TRUE(newer.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kMsfs2024);
        FakeGameProcess older("FlightSimulator.exe");
        ASSERT_TRUE(older.started());
        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), kMsfs2020) << "both run: the older slot comes first";
    }
    EXPECT_EQ(clientLog.opens, 2) << "the open handles were reused";

    // A handle detection keeps but nobody reads yet is closed when its connection has failed, and
    // opened anew.
    clientLog.dispatchResult = static_cast<std::int32_t>(0xC000013Eu);
    EXPECT_EQ(detectGame(*source), 0);
    EXPECT_EQ(clientLog.closes, 2);
    EXPECT_EQ(clientLog.opens, 4);
    clientLog.dispatchResult = kSimClientNoMessage;
    releaseIdleChannels(*source);
}

// MSFS2020 standing still for long keeps its connection while it is detected; a client that the
// re-detection had to open (the simulator quit and came back) is registered, not left without data.
TEST(FlightSimulatorSlots, APausedSimulatorKeepsItsConnectionAndAReturningOneIsRegistered) {
    clientLog = {};
    auto source = std::make_unique<GameSource>();
    source->simClient = kRecordingClient;
    FakeGameProcess simulator("FlightSimulator.exe");
    ASSERT_TRUE(simulator.started());
    ASSERT_EQ(detectGame(*source), 1);
    ASSERT_EQ(connectGame(*source), 1);
    ASSERT_EQ(clientLog.definitions.size(), 17U);

    EXPECT_TRUE(keepPausedSimulator(*source, nullptr));
    EXPECT_EQ(clientLog.definitions.size(), 17U) << "a registered client is not registered twice";

    source->reader(kMsfs2020).disconnect();  // the simulator quit: the reader closed it
    EXPECT_TRUE(keepPausedSimulator(*source, nullptr));
    EXPECT_EQ(clientLog.definitions.size(), 34U) << "the new client asked for the data";

    source->active[kMsfs2020].store(false);
    source->active[kMsfs2024].store(true);
    EXPECT_FALSE(keepPausedSimulator(*source, nullptr)) << "only MSFS2020 has the exception";
    source->active[kMsfs2024].store(false);
    source->active[kMsfs2020].store(true);
    clientLog.subscribeResult = -5;
    source->reader(kMsfs2020).disconnect();
    EXPECT_FALSE(keepPausedSimulator(*source, nullptr)) << "a registration that fails lets it go";
    EXPECT_FALSE(source->reader(kMsfs2020).holdsChannel());
    releaseIdleChannels(*source);
}

}  // namespace
}  // namespace tarvelmond::test
