// The wind device's driver on a pseudo-terminal: configuration, priming with a zero, pacing, pause,
// the limit on failed starts and the start in the background.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "engine/motion_engine.h"
#include "peers/virtual_controller.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

TEST(WindSerial, StartFailsOnWhatIsNoDeviceAndOnBadModesAndStopsTryingAfterThree) {
    WindSerial wind;
    EXPECT_FALSE(wind.init("NOPORT", 9600, "8N1", 15));
    {
        WindPeer gone(uniqueComNumber(4));
        ASSERT_TRUE(wind.init(gone.comName(), 9600, "8N1", 15));
    }
    for (int attempt = 0; attempt < 3; ++attempt)
        wind.start();  // the device is gone: the open fails
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    wind.start();
    EXPECT_FALSE(wind.isRunning()) << "no fourth try";
    wind.stop();
    wind.start();
    EXPECT_TRUE(wind.isRunning()) << "stop resets the count";
    wind.stop();

    for (const char* mode : {"8X1", "8N3", "8N", "8N1x"}) {
        ASSERT_TRUE(wind.init(peer.comName(), 9600, mode, 15));
        wind.start();
        EXPECT_FALSE(wind.isRunning()) << mode;
    }
    ASSERT_TRUE(wind.init(peer.comName(), 19200, "7e2", 15));  // parity letter in any case
    wind.start();
    EXPECT_TRUE(wind.isRunning());
    wind.stop();
}

TEST(WindSerial, PrimesWithAZeroPausesWithAZeroAndSendsTheLatestValueEveryInterval) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 15));
    wind.start();
    ASSERT_TRUE(peer.waitForCount(1, 2s));
    wind.pause();
    ASSERT_TRUE(peer.waitForCount(2, 2s));
    wind.updateBuffer({0xF1, 0xF2});
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(peer.bytes(), (Bytes{0x00, 0x00})) << "a start and a pause write one zero each, then nothing";
    wind.unpause();

    // The output stage replaces the buffer every 2 ms; the device gets at most one byte per 15 ms,
    // always the latest value.
    const auto start = std::chrono::steady_clock::now();
    for (std::uint8_t tick = 1; tick <= 150; ++tick) {
        wind.updateBuffer({tick});
        std::this_thread::sleep_for(2ms);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    wind.stop();
    ASSERT_TRUE(peer.waitForCount(5, 2s));
    for (int i = 0; i < 200 && peer.bytes().back() != 0x00; ++i)  // the values are 1 to 150
        std::this_thread::sleep_for(10ms);
    const Bytes bytes = peer.bytes();
    EXPECT_EQ(bytes.back(), 0x00) << "stop writes a zero";
    EXPECT_LE(bytes.size() - 3, static_cast<std::size_t>(elapsed / 15ms) + 2);
    EXPECT_LE(bytes[2], 150) << "resumes with the next value, not the skipped ones";
    EXPECT_TRUE(std::is_sorted(bytes.begin() + 2, bytes.end() - 1)) << "never an old value after a new one";
}

// The output stage starts the device in the background and feeds and unpauses it from the game-source
// thread while the host pauses and stops it; under ThreadSanitizer no access may race.
TEST(WindSerial, BackgroundStartFeedingPausingAndStoppingAreRaceFree) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 1));
    for (int i = 0; i < 20; ++i) {  // a stop while the start is still opening leaves nothing running
        wind.startInBackground();
        wind.stop();
        EXPECT_FALSE(wind.isRunning());
    }
    wind.startInBackground();
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        for (std::uint8_t value = 1; !done.load(); ++value) {
            wind.unpause();
            wind.updateBuffer({value});
            std::this_thread::sleep_for(200us);
        }
    });
    for (int i = 0; i < 50; ++i) {
        wind.pause();
        std::this_thread::sleep_for(2ms);
    }
    done.store(true);
    feeder.join();
    EXPECT_TRUE(wind.isRunning());
    wind.stop();
}

}  // namespace
}  // namespace tarvelmond::test
