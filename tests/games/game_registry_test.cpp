// The registry's contract: every game it lists keeps the number, name and port hosts rely on, and is
// reached through the real detection and read through the real channel, one game at a time against a
// stand-in for that game (its datagrams on its port, its process, its published block, its server).
// A game added to the registry without a stand-in here fails the second test.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "block_publisher.h"
#include "fake_game_process.h"
#include "game_test_support.h"
#include "games/game_registry.h"
#include "games/game_source.h"
#include "nolimits_server.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;

// What hosts have stored since the first release, in detection order.
struct PublishedIdentity {
    int id;
    const char* name;
    int udpPort;
};
constexpr PublishedIdentity kPublished[] = {
    {0, "Xplane", 4321},          {1, "DCS", 4124},
    {2, "MSFS2020", 0},           {15, "MSFS2024", 0},
    {3, "AssettoCorsa/Comp.", 0}, {16, "AssettoCorsaEvo", 0},
    {4, "RaceRoom", 0},           {5, "DirtRally2", 20778},
    {6, "Condor2", 55278},        {7, "F1-2023-24", 20777},
    {8, "NoLimits2", 0},          {9, "PCAR2/Automobilista2", 0},
    {10, "iRacing", 0},           {11, "WRC23", 20788},
    {12, "BeamNG", 4444},         {13, "LFS", 4123},
    {14, "rFactor2", 0},          {17, "ETSM2/AMT", 0},
};

TEST(GameRegistry, KeepsEveryGamesNumberNameAndPortInDetectionOrder) {
    const auto registry = gameRegistry();
    ASSERT_EQ(registry.size(), std::size(kPublished));
    ASSERT_EQ(registry.size(), static_cast<std::size_t>(kGameCount));
    std::set<int> ids;
    for (std::size_t i = 0; i < registry.size(); ++i) {
        const GameIdentity& identity = registry[i]->identity;
        SCOPED_TRACE(identity.displayName);
        EXPECT_EQ(identity.id, kPublished[i].id);
        EXPECT_STREQ(identity.displayName, kPublished[i].name);
        EXPECT_EQ(identity.udpPort, kPublished[i].udpPort);
        EXPECT_TRUE(ids.insert(identity.id).second) << "one number, one game";
        EXPECT_LE(std::strlen(identity.displayName), 20U) << "hosts pass getGameName a 21-byte buffer";
        EXPECT_EQ(findGame(identity.id), &identity);
    }
    EXPECT_EQ(findGame(kGameCount), nullptr);
    EXPECT_STREQ(gameDisplayName(-1), "No Game online");
}

TEST(GameRegistry, EveryReaderIsMadeOnceWithItsOwnIdentity) {
    auto source = std::make_unique<GameSource>();
    const auto registry = gameRegistry();
    for (std::size_t i = 0; i < registry.size(); ++i) {
        EXPECT_EQ(&source->readers[i]->identity(), &registry[i]->identity);
        EXPECT_EQ(&source->reader(registry[i]->identity.id), source->readers[i].get());
        EXPECT_FALSE(source->readers[i]->holdsChannel()) << "nothing is open before detection";
    }
}

// A flight simulator's client that always connects and has no message waiting: the handle alone
// tells a running simulator (detection) and keeps the reader reading.
int standInHandle;
const SimClientOps kStandInClient = {
    .clientOpen = [](void** handle, const char*, void*, std::uint32_t, void*, std::uint32_t) -> std::int32_t {
        *handle = &standInHandle;
        return 0;
    },
    .clientClose = [](void*) -> std::int32_t { return 0; },
    .addToDataDefinition = [](void*, std::uint32_t, const char*, const char*, std::int32_t, float,
                              std::uint32_t) -> std::int32_t { return 0; },
    .requestDataOnSimObject = [](void*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t) -> std::int32_t { return 0; },
    .subscribeToSystemEvent = [](void*, std::uint32_t, const char*) -> std::int32_t { return 0; },
    .getNextDispatch = [](void*, const std::uint8_t**, std::uint32_t*) -> std::int32_t {
        return kSimClientNoMessage;
    },
};

// One game being there, in whatever shape it takes.
struct StandIn {
    std::unique_ptr<UdpGameSender> sender;
    std::unique_ptr<FakeGameProcess> process;
    std::unique_ptr<GameBlockPublisher> publisher;
    std::unique_ptr<NoLimitsServer> server;
    SimClientOps client{};              // none: detection finds no flight simulator
    const char* lateProcess = nullptr;  // started once detection has seen that sending is not enough
};

StandIn sending(int id, const Bytes& packet, const char* process = nullptr) {
    StandIn game;
    game.sender = std::make_unique<UdpGameSender>(udpGamePort(id));
    game.sender->start(packet);
    game.lateProcess = process;
    return game;
}

StandIn publishing(BlockGame block) {
    StandIn game;
    game.publisher = std::make_unique<GameBlockPublisher>(block, motionScene(0.05, 1.0));
    EXPECT_TRUE(game.publisher->started());
    return game;
}

StandIn flying(const char* process) {
    StandIn game;
    game.client = kStandInClient;
    game.process = std::make_unique<FakeGameProcess>(process);
    EXPECT_TRUE(game.process->started());
    return game;
}

StandIn riding() {
    StandIn game;
    game.server = std::make_unique<NoLimitsServer>();
    EXPECT_TRUE(game.server->listening());
    game.server->setTelemetry({.speed = 12.0f, .gy = 1.0f});
    return game;
}

const std::map<int, std::function<StandIn()>>& standIns() {
    static const std::map<int, std::function<StandIn()>> games = {
        {kXplane,
         [] {
             return sending(kXplane, xplanePacket({{17, {10.0f}}, {135, {0.5f}}}));
         }},
        {kDcs, [] { return sending(kDcs, dcsLine(std::vector<double>(25, 1.0)), "DCS64.exe"); }},
        {kDirtRally2, [] { return sending(kDirtRally2, dirtRallyPacket({})); }},
        {kCondor2,
         [] {
             return sending(
                 kCondor2,
                 condorText({{"pitch", "0.1"}, {"ax", "0.5"}, {"vy", "20.0"}, {"altitude", "1200"}}));
         }},
        {kF1, [] { return sending(kF1, f1MotionPacket(2024, 0, {}), "F1_24.exe"); }},
        {kWrc, [] { return sending(kWrc, wrcPacket({})); }},
        {kBeamNg, [] { return sending(kBeamNg, beamNgPacket({})); }},
        {kLfs, [] { return sending(kLfs, lfsPacket({}), "LFS64.exe"); }},
        {kAssettoCorsa, [] { return publishing(BlockGame::AssettoCorsa); }},
        {kAssettoCorsaEvo, [] { return publishing(BlockGame::AssettoCorsaEvo); }},
        {kRaceRoom, [] { return publishing(BlockGame::RaceRoom); }},
        {kPcars2, [] { return publishing(BlockGame::Pcars2); }},
        {kIRacing, [] { return publishing(BlockGame::IRacing); }},
        {kRFactor2, [] { return publishing(BlockGame::RFactor2); }},
        {kEts2, [] { return publishing(BlockGame::Truck); }},
        {kMsfs2020, [] { return flying("FlightSimulator.exe"); }},
        {kMsfs2024, [] { return flying("FlightSimulator2024.exe"); }},
        {kNoLimits2, [] { return riding(); }},
    };
    return games;
}

TEST(GameRegistry, EveryGameIsFoundConnectedReadAndReleasedThroughItsReader) {
    for (const GameEntry* entry : gameRegistry()) {
        const GameIdentity& identity = entry->identity;
        SCOPED_TRACE(identity.displayName);
        const auto make = standIns().find(identity.id);
        ASSERT_NE(make, standIns().end()) << "a registered game without a stand-in";
        StandIn game = make->second();
        auto source = std::make_unique<GameSource>();
        source->simClient = game.client;
        if (game.lateProcess != nullptr) {
            EXPECT_EQ(detectGame(*source), 0) << "sending alone is not enough";
            game.process = std::make_unique<FakeGameProcess>(game.lateProcess);
            ASSERT_TRUE(game.process->started());
        }

        ASSERT_EQ(detectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), identity.id);
        char name[32] = {};
        getGameName(*source, name);
        EXPECT_STREQ(name, identity.displayName);
        if (identity.udpPort != 0) {
            EXPECT_FALSE(udpPortHeld(identity.udpPort)) << "detection leaves no socket";
        }

        ASSERT_EQ(connectGame(*source), 1);
        GameReader& reader = source->reader(identity.id);
        EXPECT_TRUE(reader.holdsChannel());
        if (identity.udpPort != 0) {
            EXPECT_TRUE(udpPortHeld(identity.udpPort)) << "the reader holds the port";
        }
        EXPECT_TRUE(eventually([&] { return readGameFrame(*source) == 1; })) << "frames arrive";

        EXPECT_EQ(disconnectGame(*source), 1);
        EXPECT_EQ(getGameId(*source), -1);
        EXPECT_FALSE(reader.holdsChannel()) << "no port, view, mapping or event is kept";
        EXPECT_EQ(readGameFrame(*source), 0);
        if (identity.udpPort != 0) {
            EXPECT_FALSE(udpPortHeld(identity.udpPort));
        }
        releaseIdleChannels(*source);
    }
}

}  // namespace
}  // namespace tarvelmond::test
