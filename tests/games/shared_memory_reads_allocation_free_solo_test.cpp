// A shared-memory reader runs on the real-time thread 500 times a second: reading a frame, including
// the test that RaceRoom's and Project CARS 2's blocks still exist, must not allocate. This program
// counts every allocation of the process while it reads blocks another process publishes.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "block_publisher.h"
#include "game_test_support.h"
#include "games/game_source.h"
#include "support/allocation_counter.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;

TEST(SharedMemoryReads, AllocateNothing) {
    const std::pair<BlockGame, int> games[] = {
        {BlockGame::AssettoCorsa, kAssettoCorsa},
        {BlockGame::RaceRoom, kRaceRoom},
        {BlockGame::Pcars2, kPcars2},
        {BlockGame::IRacing, kIRacing},
        {BlockGame::RFactor2, kRFactor2},
        {BlockGame::Truck, kEts2},
    };
    for (const auto& [blockGame, slot] : games) {
        SCOPED_TRACE(gameDisplayName(slot));
        BlockScene scene;
        scene.wobble = 0.01f;
        scene.r3e.versionMinor = 4;
        GameBlockPublisher game(blockGame, scene);
        ASSERT_TRUE(game.started());
        auto source = std::make_unique<GameSource>();
        ASSERT_EQ(detectGame(*source), 1);
        ASSERT_EQ(getGameId(*source), slot);
        ASSERT_EQ(connectGame(*source), 1);
        // Detection also tried the flight simulators' client, whose connection attempts allocate on
        // threads of their own: they are ended before this process's allocations are counted.
        releaseIdleChannels(*source);

        const long before = allocationsInProcess();
        int withData = 0;
        const auto end = std::chrono::steady_clock::now() + 300ms;
        while (std::chrono::steady_clock::now() < end) {
            withData += readGameFrame(*source);
            std::this_thread::sleep_for(500us);
        }
        EXPECT_EQ(allocationsInProcess() - before, 0);
        EXPECT_GT(withData, 0) << "frames were read";
        disconnectGame(*source);
    }
}

}  // namespace
}  // namespace tarvelmond::test
