// The real-time thread of the product, loaded by name as a host loads it, against the shared-memory
// games played by a separate process: a game is found, connected and read into the right channels; a
// game that hangs, closes its block, ends its session or quits is dropped by the watchdog and found
// again. Each game's own mapping and stop are read through the slots in shared_memory_games_test.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "block_publisher.h"
#include "game_test_support.h"
#include "games/game_source.h"
#include "support/game_source_product.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using Clock = std::chrono::steady_clock;

// The games whose stops differ, each stopped so that the watchdog drops it.
struct ThreadGame {
    BlockGame game;
    int slot;
    Channel lateralChannel;  // where the lateral acceleration of motionScene() arrives
    std::function<void(GameBlockPublisher&, BlockScene&)> stop;
};

std::vector<ThreadGame> threadGames() {
    return {
        {BlockGame::AssettoCorsa, kAssettoCorsa, lateral_accel,  // hangs
         [](GameBlockPublisher& game, BlockScene&) { game.command(PublisherCommand::Freeze); }},
        {BlockGame::RaceRoom, kRaceRoom, lateral_accel,  // closes its block
         [](GameBlockPublisher& game, BlockScene&) { game.command(PublisherCommand::Close); }},
        {BlockGame::IRacing, kIRacing, lateral_accel_g,
         [](GameBlockPublisher& game, BlockScene& s) {
             s.iRacingStatus = 0;  // the session ends
             game.setScene(s);
         }},
        {BlockGame::RFactor2, kRFactor2, lateral_accel,
         [](GameBlockPublisher& game, BlockScene&) { game.quit(); }},
    };
}

using SharedMemoryGameThread = GameSourceProductTest;

// Each game reports a nose-up pitch and a lateral acceleration, each a little different from the
// last game's (the record keeps a game's values until the next one writes).
TEST_F(SharedMemoryGameThread, FindsEachGameReadsItsChannelsDropsAStoppedGameAndFindsItAgain) {
    const std::vector<ThreadGame> games = threadGames();
    for (std::size_t i = 0; i < games.size(); ++i) {
        const ThreadGame& row = games[i];
        SCOPED_TRACE(gameDisplayName(row.slot));
        const double pitch = 4.0 + static_cast<double>(i), lateral = 1.5 + 0.25 * static_cast<double>(i);
        const auto scene = [&](double pitchDeg) { return motionScene(pitchDeg * kDeg, lateral); };
        BlockScene playing = scene(pitch);
        auto game = std::make_unique<GameBlockPublisher>(row.game, playing);
        ASSERT_TRUE(game->started());
        product.start();
        product.ready(1);
        ASSERT_TRUE(eventually([&] { return product.gameId() == row.slot; }, 20s)) << product.gameId();
        EXPECT_TRUE(product.reads(pitch_position, pitch));
        EXPECT_TRUE(product.reads(row.lateralChannel, lateral));
        EXPECT_TRUE(product.reads(longitu_gravi, g * std::sin(pitch * kDeg), 1e-6));
        EXPECT_GT(product.gameTimeFrame(), 0.0);

        row.stop(*game, playing);
        const auto stopped = Clock::now();
        ASSERT_TRUE(eventually([&] { return product.gameId() == -1; }, 30s)) << "the watchdog drops the game";
        EXPECT_GE(Clock::now() - stopped, 1s) << "after a thousand ticks without data, not at once";
        const BlockScene later = scene(pitch + 0.5);
        if (game->started()) {
            game->setScene(later);
        } else {  // it quit: a fresh start, whose clock starts low again
            game = std::make_unique<GameBlockPublisher>(row.game, later);
            ASSERT_TRUE(game->started());
        }
        EXPECT_TRUE(eventually([&] { return product.gameId() == row.slot; }, 20s)) << "found again";
        EXPECT_TRUE(product.reads(pitch_position, pitch + 0.5)) << "and read again";
        product.ready(0);
        product.stop();
        EXPECT_EQ(product.gameId(), -1);
    }
}

}  // namespace
}  // namespace tarvelmond::test
