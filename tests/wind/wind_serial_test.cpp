// The wind device's driver on a pseudo-terminal: configuration, priming with a zero, pacing, pause,
// the limit on failed starts, and the flat initWindSerial.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>
#include <thread>

#include "engine/motion_engine.h"
#include "peers/virtual_controller.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> values(const std::vector<WindPeer::Byte>& bytes) {
    std::vector<std::uint8_t> out;
    for (const auto& b : bytes)
        out.push_back(b.value);
    return out;
}

TEST(WindSerial, ANameThatIsNoDeviceIsRefusedAndNothingStarts) {
    WindSerial wind;
    EXPECT_FALSE(wind.init("NOPORT", 9600, "8N1", 15));
    EXPECT_FALSE(wind.isInit());
    wind.start();
    EXPECT_FALSE(wind.isRunning());
    wind.stop();  // never started: writes nothing, returns
}

TEST(WindSerial, StartPrimesWithAZeroThenSendsTheLatestValueEveryInterval) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 15));
    EXPECT_TRUE(wind.isInit());
    wind.start();
    ASSERT_TRUE(wind.isRunning());
    ASSERT_TRUE(peer.waitForCount(1, 2s));
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(values(peer.bytes()), std::vector<std::uint8_t>{0x00}) << "an empty buffer sends nothing";

    // The output stage replaces the buffer every 2 ms; the device gets at most one byte per 15 ms,
    // always the latest value.
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> one(1);
    for (int tick = 0; tick < 150; ++tick) {
        one[0] = static_cast<std::uint8_t>(tick + 1);
        wind.updateBuffer(one);
        std::this_thread::sleep_for(2ms);
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    wind.stop();
    const auto bytes = peer.bytes();
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes.back().value, 0x00) << "stop writes a zero";
    const std::size_t valueBytes = bytes.size() - 2;
    EXPECT_LE(valueBytes, static_cast<std::size_t>(elapsed / 15ms) + 2);
    EXPECT_TRUE(std::is_sorted(bytes.begin() + 1, bytes.end() - 1, [](const auto& a, const auto& b) {
        return a.value < b.value;
    })) << "values come newest-first from the buffer, never an old one after a new one";
    EXPECT_FALSE(wind.isRunning());
}

TEST(WindSerial, PausedValuesAreTakenButNotWritten) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    ASSERT_TRUE(wind.init(peer.comName(), 19200, "8n1", 5));  // parity letter in any case
    wind.start();
    ASSERT_TRUE(wind.isRunning());
    ASSERT_TRUE(peer.waitForCount(1, 2s));
    wind.pause();
    ASSERT_TRUE(peer.waitForCount(2, 2s));
    wind.updateBuffer({0x11, 0x22, 0x33});
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(values(peer.bytes()), (std::vector<std::uint8_t>{0x00, 0x00})) << "pause writes one zero only";
    wind.unpause();
    wind.updateBuffer({0x44});
    ASSERT_TRUE(peer.waitForCount(3, 2s));
    EXPECT_EQ(values(peer.bytes())[2], 0x44) << "resumes with the next value, not the skipped ones";
    wind.stop();
}

TEST(WindSerial, BadModesMakeStartFail) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    for (const char* mode : {"8X1", "8N3", "8N", "8N1x"}) {
        ASSERT_TRUE(wind.init(peer.comName(), 9600, mode, 15));
        wind.start();
        EXPECT_FALSE(wind.isRunning()) << mode;
    }
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "7E2", 15));
    wind.start();
    EXPECT_TRUE(wind.isRunning());
    wind.stop();
    ASSERT_TRUE(peer.waitForCount(2, 2s));
    EXPECT_EQ(values(peer.bytes()), (std::vector<std::uint8_t>{0x00, 0x00})) << "start and stop";
}

TEST(WindSerial, AfterThreeFailedStartsStartWaitsForInitOrStop) {
    const int number = uniqueComNumber(4);
    WindSerial wind;
    {
        WindPeer gone(number);
        ASSERT_TRUE(gone.ready());
        ASSERT_TRUE(wind.init(gone.comName(), 9600, "8N1", 15));
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        wind.start();  // the device is gone: the open fails
        EXPECT_FALSE(wind.isRunning());
    }
    WindPeer back(number);
    ASSERT_TRUE(back.ready());
    wind.start();
    EXPECT_FALSE(wind.isRunning()) << "no fourth try";
    wind.stop();
    wind.start();
    EXPECT_TRUE(wind.isRunning()) << "stop resets the count";
    wind.stop();
}

TEST(WindSerial, ABackgroundStartOpensThePortOffTheCallersThread) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 5));
    wind.startInBackground();
    wind.startInBackground();  // a start under way is not repeated
    ASSERT_TRUE(peer.waitForCount(1, 2s));
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!wind.isRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(wind.isRunning());
    wind.updateBuffer({0x7F});
    ASSERT_TRUE(peer.waitForCount(2, 2s));
    wind.stop();
    EXPECT_EQ(values(peer.bytes()), (std::vector<std::uint8_t>{0x00, 0x7F, 0x00}));

    // A stop while the background start is still opening: nothing keeps running afterwards.
    for (int i = 0; i < 20; ++i) {
        wind.startInBackground();
        wind.stop();
        EXPECT_FALSE(wind.isRunning());
    }
}

TEST(WindSerial, InitWindSerialConfiguresTheEnginesInstanceFromUtf16) {
    WindPeer peer(uniqueComNumber(5));
    ASSERT_TRUE(peer.ready());
    std::basic_string<tarvelmond_utf16> port;
    for (char c : peer.comName())
        port.push_back(static_cast<tarvelmond_utf16>(c));
    const tarvelmond_utf16 mode[] = {'8', 'N', '1', 0};
    const tarvelmond_utf16 noPort[] = {'N', 'O', 'P', 'O', 'R', 'T', 0};
    EXPECT_EQ(initWindSerial(noPort, 9600, mode, 15), 0);
    EXPECT_FALSE(engine().windSerial.isInit());
    EXPECT_EQ(initWindSerial(port.c_str(), 9600, mode, 15), 1);
    EXPECT_TRUE(engine().windSerial.isInit());
    engine().windSerial.start();
    EXPECT_TRUE(peer.waitForCount(1, 2s));
    engine().windSerial.stop();
}

// The output stage feeds the buffer and unpauses from the game-source thread while the host pauses
// and the sending thread writes; under ThreadSanitizer no access may race.
TEST(WindSerial, ConcurrentFeedingPausingAndSendingAreRaceFree) {
    WindPeer peer(uniqueComNumber(4));
    ASSERT_TRUE(peer.ready());
    WindSerial wind;
    ASSERT_TRUE(wind.init(peer.comName(), 9600, "8N1", 1));
    wind.start();
    ASSERT_TRUE(wind.isRunning());
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        std::vector<std::uint8_t> one(1);
        while (!done.load()) {
            ++one[0];
            wind.unpause();
            wind.updateBuffer(one);
            std::this_thread::sleep_for(200us);
        }
    });
    for (int i = 0; i < 50; ++i) {
        wind.pause();
        std::this_thread::sleep_for(2ms);
        (void)wind.isRunning();
    }
    done.store(true);
    feeder.join();
    wind.stop();
    EXPECT_GT(peer.bytes().size(), 2u);
}

}  // namespace
}  // namespace tarvelmond::test
