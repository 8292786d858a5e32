// The wind device's driver on a pseudo-terminal: configuration, priming with a zero, pacing, pause,
// the limit on failed starts, and callers that a slow device, a long interval or each other never
// hold up.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <thread>

#include "engine/motion_engine.h"
#include "peers/virtual_controller.h"
#include "platform/process_info.h"
#include "platform/serial_device.h"
#include "support/eventually.h"

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

using Clock = std::chrono::steady_clock;

// The game-source thread's part in one tick, as the output stage plays it: a running device gets the
// value, one that is configured but not running is started in the background.
void outputStageTick(WindSerial& wind, std::uint8_t value) {
    if (wind.isRunning()) {
        wind.unpause();
        wind.updateBuffer({value});
    } else if (wind.isInit()) {
        wind.startInBackground();
    }
}

template <typename Call>
Clock::duration timed(Call&& call) {
    const auto start = Clock::now();
    call();
    return Clock::now() - start;
}

// A device that stopped reading makes every write wait for its time-out (50 ms and more), and a long
// interval keeps the sending thread asleep: neither may hold the real-time thread's calls or a stop.
TEST(WindSerial, NeitherAStalledDeviceNorALongIntervalHoldsTheCallers) {
    std::mt19937 random(testing::UnitTest::GetInstance()->random_seed());
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 1000));
    wind.start();
    ASSERT_TRUE(wind.isRunning());
    ASSERT_TRUE(peer.waitForCount(1, 2s));
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 500));  // the thread sleeps its second
    EXPECT_LT(timed([&] { wind.stop(); }), 250ms) << "a stop does not wait out the interval";
    EXPECT_FALSE(wind.isRunning());
    wind.start();  // the run still closing ends first
    EXPECT_TRUE(wind.isRunning());
    ASSERT_TRUE(peer.waitForCount(3, 2s));
    EXPECT_EQ(peer.bytes(), (Bytes{0x00, 0x00, 0x00})) << "priming, stopping and priming zeros";
    wind.stop();

    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 15));
    wind.start();
    ASSERT_TRUE(wind.isRunning());
    if (!peer.stall()) GTEST_SKIP() << "a device that stops reading cannot be staged here";
    // Ticks of the real-time thread with the device stalled; its resets pause the device, and the host
    // stops it at random moments, after which the ticks start it again in the background.
    Clock::duration longest{};
    for (int tick = 0; tick < 500; ++tick) {
        longest = std::max(longest, timed([&] { outputStageTick(wind, static_cast<std::uint8_t>(tick)); }));
        if (random() % 50 == 0) longest = std::max(longest, timed([&] { wind.pause(); }));
        if (random() % 100 == 0) longest = std::max(longest, timed([&] { wind.stop(); }));
        std::this_thread::sleep_for(2ms);
    }
    EXPECT_LT(longest, 50ms) << "a call waited for the stalled device";
    peer.resume();
    wind.stop();
}

// Host threads start, stop, pause and feed the device in any order: the device ends as the last call
// asked, nothing hangs, and once stopped no port stays open. Under ThreadSanitizer no access races.
TEST(WindSerial, StartsAndStopsFromAnyThreadsEndAsTheLastCallAsked) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    const int resourcesBefore = platform::openResourceCount();
    // The library opens its ports exclusively: another open succeeds once it has closed its own.
    const auto portClosed = [&] { return platform::SerialDevice().open(peer.comName()); };
    auto owned = std::make_unique<WindSerial>();
    WindSerial& wind = *owned;
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 300));
    wind.start();
    ASSERT_TRUE(peer.waitForCount(1, 2s));
    // A start issued while a stop is still under way (the thread sleeps its 300 ms) wins.
    std::thread stopping([&] { wind.stop(); });
    std::this_thread::sleep_for(5ms);
    wind.start();
    stopping.join();
    EXPECT_TRUE(wind.isRunning());

    std::mt19937 random(testing::UnitTest::GetInstance()->random_seed());
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 1));
    constexpr int kRounds = 8;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::thread> hosts;
        for (int h = 0; h < 3; ++h) {
            hosts.emplace_back([&wind, seed = random()] {
                std::mt19937 own(seed);
                for (int call = 0; call < 20; ++call) {
                    switch (own() % 6) {
                        case 0:
                            wind.start();
                            break;
                        case 1:
                            wind.stop();
                            break;
                        case 2:
                            wind.startInBackground();
                            break;
                        case 3:
                            wind.pause();
                            break;
                        case 4:
                            wind.unpause();
                            break;
                        default:
                            wind.updateBuffer({static_cast<std::uint8_t>(own() % 200 + 1)});
                            break;
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(own() % 3000));
                }
            });
        }
        for (auto& h : hosts)
            h.join();
        SCOPED_TRACE(round);
        if (random() % 2 == 0) {
            wind.start();
            ASSERT_TRUE(eventually([&] { return wind.isRunning(); }, 2s)) << "the last call was a start";
            wind.unpause();
            const std::size_t before = peer.bytes().size();
            wind.updateBuffer({0xF0});
            EXPECT_TRUE(eventually([&] {
                const Bytes bytes = peer.bytes();
                return std::find(bytes.begin() + static_cast<std::ptrdiff_t>(before), bytes.end(), 0xF0) !=
                       bytes.end();
            }));
        } else {
            wind.stop();
            EXPECT_FALSE(wind.isRunning()) << "the last call was a stop";
            EXPECT_TRUE(eventually(portClosed));
            std::this_thread::sleep_for(30ms);  // the bytes written before the close reach the peer
            const std::size_t settled = peer.bytes().size();
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(peer.bytes().size(), settled) << "nothing is sent after a stop";
            EXPECT_EQ(peer.bytes().back(), 0x00) << "the last byte is the stop's zero";
        }
    }
    owned.reset();
    EXPECT_TRUE(portClosed());
    // Natively the count is exact. On Windows the thread library keeps a handle for each thread it may
    // reuse; a port or thread handle left behind by every round would still show.
    EXPECT_LT(platform::openResourceCount() - resourcesBefore, kRounds) << "nothing left behind";
}

}  // namespace
}  // namespace tarvelmond::test
