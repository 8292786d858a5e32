// The real-time thread of the product, loaded by name as a host loads it, against the shared-memory
// games played by a separate process: each game is found, connected and read into the right channels;
// a game that closes its block, ends its session or stops is dropped by the watchdog and found again.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "block_publisher.h"
#include "games/game_source.h"
#include "support/product_library.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr double g = 9.80665;
constexpr double kDeg = std::numbers::pi / 180.0;

struct Product {
    Product() {
        auto& library = productLibrary();
        start = library.function<void (*)()>("startGamesource_Thread");
        stop = library.function<void (*)()>("stopGamesource_Thread");
        ready = library.function<void (*)(int)>("setMotionsystemready");
        gameId = library.function<int (*)()>("getGameID");
        gameData = library.function<void (*)(double**, int*)>("getGameData");
        gameTimeFrame = library.function<double (*)()>("getGameTimeFrame");
    }
    double channel(Channel c) const {
        double* data = nullptr;
        int count = 0;
        gameData(&data, &count);
        return std::atomic_ref<double>(data[static_cast<int>(c)]).load(std::memory_order_relaxed);
    }

    void (*start)();
    void (*stop)();
    void (*ready)(int);
    int (*gameId)();
    void (*gameData)(double**, int*);
    double (*gameTimeFrame)();
};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

class SharedMemoryGameThread : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(productLibrary().loaded()) << productLibrary().error(); }
    void TearDown() override {
        product.ready(0);
        product.stop();
    }
    bool near(Channel c, double expected, double tolerance = 1e-4) const {
        return std::fabs(product.channel(c) - expected) < tolerance;
    }
    Product product;
};

struct BlockGameCase {
    BlockGame game;
    int slot;
    BlockScene scene;
    Channel lateralChannel;
    double lateral;  // in the record
    double pitchDeg;
};

// Every game reports a nose-up pitch and a lateral acceleration, each a little different from the
// last game's (the record keeps a game's values until the next one writes), in its own terms.
std::vector<BlockGameCase> blockGames() {
    std::vector<BlockGameCase> games;
    auto add = [&](BlockGame game, int slot, auto fill, Channel channel, double sign) {
        const double pitch = 4.0 + static_cast<double>(games.size());
        const double lateral = 1.5 + 0.25 * static_cast<double>(games.size());
        BlockScene scene;
        scene.wobble = 0.001f;
        fill(scene, pitch * kDeg, lateral);
        games.push_back({game, slot, scene, channel, sign * lateral, pitch});
    };
    add(
        BlockGame::AssettoCorsa, kAssettoCorsa,
        [](BlockScene& s, double pitch, double lateral) {
            s.ac.pitch = static_cast<float>(pitch);
            s.ac.accG[0] = static_cast<float>(lateral / 9.81);
        },
        Channel::lateral_accel, 1.0);
    add(
        BlockGame::RaceRoom, kRaceRoom,
        [](BlockScene& s, double pitch, double lateral) {
            s.r3e.versionMinor = 4;
            s.r3e.orientation[0] = pitch;
            s.r3e.localAcceleration[0] = lateral;
        },
        Channel::lateral_accel, -1.0);
    add(
        BlockGame::Pcars2, kPcars2,
        [](BlockScene& s, double pitch, double lateral) {
            s.pcars2.orientation[2] = static_cast<float>(pitch);
            s.pcars2.localAcceleration[0] = static_cast<float>(lateral);
        },
        Channel::lateral_accel, 1.0);
    add(
        BlockGame::IRacing, kIRacing,
        [](BlockScene& s, double pitch, double lateral) {
            s.iRacing[kPitch] = static_cast<float>(-pitch);
            s.iRacing[kLatAccel] = static_cast<float>(lateral);
            s.iRacing[kVertAccel] = static_cast<float>(g);
        },
        Channel::lateral_accel_g, -1.0);
    add(
        BlockGame::RFactor2, kRFactor2,
        [](BlockScene& s, double pitch, double lateral) {
            const double c = std::cos(pitch), sn = std::sin(pitch);
            s.rf2.orientation = {1, 0, 0, 0, c, -sn, 0, sn, c};
            s.rf2.localAcceleration[0] = lateral;
        },
        Channel::lateral_accel, -1.0);
    add(
        BlockGame::Truck, kEts2,
        [](BlockScene& s, double pitch, double lateral) {
            s.truck.pitch = static_cast<float>(pitch / (2.0 * std::numbers::pi));
            s.truck.linearAcceleration[0] = static_cast<float>(lateral);
        },
        Channel::lateral_accel, 1.0);
    add(
        BlockGame::AssettoCorsaEvo, kAssettoCorsaEvo,
        [](BlockScene& s, double pitch, double lateral) {
            s.ac.pitch = static_cast<float>(pitch);
            s.ac.accG[0] = static_cast<float>(lateral / 9.81);
        },
        Channel::lateral_accel, 1.0);
    return games;
}

TEST_F(SharedMemoryGameThread, FindsEachBlockGameAndReadsItsChannels) {
    for (const BlockGameCase& c : blockGames()) {
        SCOPED_TRACE(gameDisplayName(c.slot));
        GameBlockPublisher game(c.game, c.scene);
        ASSERT_TRUE(game.started());
        product.start();
        product.ready(1);
        ASSERT_TRUE(waitFor([&] { return product.gameId() == c.slot; }, 20s)) << product.gameId();
        EXPECT_TRUE(waitFor([&] { return near(Channel::pitch_position, c.pitchDeg); }, 5s))
            << "pitch " << product.channel(Channel::pitch_position);
        EXPECT_TRUE(waitFor([&] { return near(c.lateralChannel, c.lateral); }, 5s))
            << "lateral " << product.channel(c.lateralChannel);
        EXPECT_TRUE(
            waitFor([&] { return near(Channel::longitu_gravi, g * std::sin(c.pitchDeg * kDeg), 1e-6); }, 5s));
        EXPECT_GT(product.gameTimeFrame(), 0.0);
        product.ready(0);
        product.stop();
        EXPECT_EQ(product.gameId(), -1);
    }
}

// Runs the thread on a game until its pitch is read, makes the game stop in some way, waits for the
// watchdog to drop it, lets the game go on with another pitch and waits for that to be read.
void dropAndFindAgain(const Product& product, int slot, double pitch, double laterPitch,
                      const std::function<void()>& stopGame, const std::function<void()>& resumeGame) {
    auto pitchIs = [&](double expected) {
        return waitFor([&] { return std::fabs(product.channel(Channel::pitch_position) - expected) < 1e-4; },
                       5s);
    };
    product.start();
    product.ready(1);
    ASSERT_TRUE(waitFor([&] { return product.gameId() == slot; }, 20s));
    ASSERT_TRUE(pitchIs(pitch));
    stopGame();
    const auto stopped = Clock::now();
    ASSERT_TRUE(waitFor([&] { return product.gameId() == -1; }, 30s)) << "the watchdog drops the game";
    EXPECT_GE(Clock::now() - stopped, 1s) << "after a thousand ticks without data, not at once";
    resumeGame();
    EXPECT_TRUE(waitFor([&] { return product.gameId() == slot; }, 20s)) << "found again";
    EXPECT_TRUE(pitchIs(laterPitch)) << "and read again";
}

TEST_F(SharedMemoryGameThread, RaceRoomThatClosesItsBlockIsDroppedAndFoundAgain) {
    BlockScene scene;
    scene.wobble = 0.001f;
    scene.r3e.orientation[0] = 3.0 * kDeg;
    GameBlockPublisher game(BlockGame::RaceRoom, scene);
    ASSERT_TRUE(game.started());
    dropAndFindAgain(
        product, kRaceRoom, 3.0, 3.5, [&] { game.command(PublisherCommand::Close); },
        [&] {
            scene.r3e.orientation[0] = 3.5 * kDeg;
            game.setScene(scene);
        });
}

TEST_F(SharedMemoryGameThread, IRacingWhoseSessionEndsIsDroppedAndFoundAgain) {
    BlockScene scene;
    scene.wobble = 0.001f;
    scene.iRacing[kPitch] = static_cast<float>(-4.0 * kDeg);
    GameBlockPublisher game(BlockGame::IRacing, scene);
    ASSERT_TRUE(game.started());
    dropAndFindAgain(
        product, kIRacing, 4.0, 4.5,
        [&] {
            scene.iRacingStatus = 0;
            game.setScene(scene);
        },
        [&] {
            scene.iRacingStatus = 1;
            scene.iRacing[kPitch] = static_cast<float>(-4.5 * kDeg);
            game.setScene(scene);
        });
}

TEST_F(SharedMemoryGameThread, AssettoCorsaThatHangsIsDroppedAndFoundAgain) {
    BlockScene scene;
    scene.wobble = 0.001f;
    scene.ac.pitch = static_cast<float>(5.0 * kDeg);
    GameBlockPublisher game(BlockGame::AssettoCorsa, scene);
    ASSERT_TRUE(game.started());
    dropAndFindAgain(
        product, kAssettoCorsa, 5.0, 5.5, [&] { game.command(PublisherCommand::Freeze); },
        [&] {
            scene.ac.pitch = static_cast<float>(5.5 * kDeg);
            game.setScene(scene);
        });
}

std::array<double, 9> pitchedBy(double deg) {
    const double c = std::cos(deg * kDeg), s = std::sin(deg * kDeg);
    return {1, 0, 0, 0, c, -s, 0, s, c};  // about the game's lateral axis (x, to the left)
}

TEST_F(SharedMemoryGameThread, AGameThatQuitsIsDroppedAndAFreshStartIsFound) {
    BlockScene scene;
    scene.wobble = 0.001f;
    scene.rf2.timeStamp = 500.0;
    scene.rf2.orientation = pitchedBy(6.0);
    auto game = std::make_unique<GameBlockPublisher>(BlockGame::RFactor2, scene);
    ASSERT_TRUE(game->started());
    dropAndFindAgain(
        product, kRFactor2, 6.0, 6.5, [&] { game->quit(); },
        [&] {
            scene.rf2.timeStamp = 0.5;  // the new game's clock starts low
            scene.rf2.orientation = pitchedBy(6.5);
            game = std::make_unique<GameBlockPublisher>(BlockGame::RFactor2, scene);
            ASSERT_TRUE(game->started());
        });
}

TEST_F(SharedMemoryGameThread, ATruckGameThatStopsRunningIsDroppedAndFoundAgain) {
    BlockScene scene;
    scene.wobble = 0.001f;
    scene.truck.pitch = static_cast<float>(7.0 / 360.0);
    GameBlockPublisher game(BlockGame::Truck, scene);
    ASSERT_TRUE(game.started());
    dropAndFindAgain(
        product, kEts2, 7.0, 7.5,
        [&] {
            scene.truck.running = 0;
            game.setScene(scene);
        },
        [&] {
            scene.truck.running = 1;
            scene.truck.pitch = static_cast<float>(7.5 / 360.0);
            game.setScene(scene);
        });
}

}  // namespace
}  // namespace tarvelmond::test
