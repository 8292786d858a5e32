// The controller's port on a real pseudo-terminal: opening by number at the controller's line rate,
// configuration, transfer both ways and closing; a device that goes away or stops reading.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>

#include "serial/link_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

TEST(SerialPortAccess, OpensConfiguresTransfersAndClosesAPseudoTerminal) {
    resetLink();
    const int missing = missingComNumber();
    EXPECT_EQ(openPort(missing), 0);
    EXPECT_THROW(openAndConfigurePort(missing), CSerialException);
    EXPECT_FALSE(serialPort().isOpen());

    FarEnd device(uniqueComNumber(1));
    ASSERT_TRUE(device.ready());
    ASSERT_EQ(openAndConfigurePort(device.comNumber()), 1);
    EXPECT_TRUE(serialPort().isOpen());
    // 0 where the far end cannot see the rate (under Wine); natively a rate termios has no constant for.
    const std::uint32_t rate = device.libraryLineRate();
    EXPECT_TRUE(rate == 0 || rate == 250000u) << rate;

    const Bytes frame = {0xF9, 0xF9, 0x03, 0x00, 0x01, 0x02, 0x0A, 0x0D};
    serialPort().write(frame.data(), frame.size());
    Bytes got(16);
    std::size_t n = 0;
    for (int i = 0; i < 100 && n < frame.size(); ++i)
        n += device.read(got.data() + n, got.size() - n, std::chrono::milliseconds(50));
    EXPECT_EQ(Bytes(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n)), frame);

    device.write(frame.data(), 5);
    ASSERT_TRUE(eventually([] { return serialPort().status().bytesToRead >= 5; }));
    EXPECT_EQ(serialPort().read(got.data(), 5), 5u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 5), Bytes(frame.begin(), frame.begin() + 5));

    link().portConnected.store(true);
    EXPECT_EQ(closePort(), 1);
    EXPECT_FALSE(link().portConnected.load()) << "closing clears portConnected";
    EXPECT_FALSE(serialPort().isOpen());
    EXPECT_THROW(serialPort().write(frame.data(), frame.size()), CSerialException);
}

// Runs `call` on a thread of its own and waits at most `limit` for it. A call that never returns ends
// the program: it cannot be stopped, and the program could not end otherwise.
template <typename Call>
auto returnsWithin(std::chrono::seconds limit, const char* what, Call&& call) {
    auto result = std::async(std::launch::async, std::forward<Call>(call));
    if (result.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << what << " does not return";
        std::fflush(stdout);
        std::_Exit(1);
    }
    return result.get();
}

// A device that goes away or stops taking bytes: its port fails instead of hanging or pretending.
// Unplugged at a random moment, before or while a read waits: that read ends with nothing (natively
// at once; Wine waits out its time-out), and every call after it fails.
TEST(SerialPortAccess, AnUnpluggedDeviceFailsItsCallsAndAStalledWriteIsAFailure) {
    std::mt19937 random(testing::UnitTest::GetInstance()->random_seed());
    std::array<std::uint8_t, 8> bytes{};
    for (int round = 0; round < 3; ++round) {
        FarEnd device(uniqueComNumber(1));
        ASSERT_TRUE(device.ready());
        platform::SerialDevice port;
        ASSERT_TRUE(port.open(device.comName()));
        ASSERT_TRUE(port.setTimeouts({0, 0, 1500, 0, 0}));
        auto reading = std::async(std::launch::async, [&] {
            std::size_t got = 0;
            port.read(bytes.data(), bytes.size(), got);
            return got;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 30));
        device.unplug();
        EXPECT_EQ(returnsWithin(5s, "a read on an unplugged device", [&] { return reading.get(); }), 0u);
        std::size_t got = 0;
        EXPECT_FALSE(returnsWithin(5s, "a read after the unplugging", [&] {
            return port.read(bytes.data(), bytes.size(), got);
        })) << "a hung-up port is a failed port";
        std::size_t written = 0;
        EXPECT_FALSE(port.write(bytes.data(), 1, written));
        EXPECT_FALSE(port.clearErrors(nullptr));
    }

    // Nobody reads the far end: the system's buffers fill, and what did not go before the write
    // time-out makes the write a failure, however many bytes went.
    FarEnd device(uniqueComNumber(1));
    platform::SerialDevice port;
    ASSERT_TRUE(port.open(device.comName()));
    ASSERT_TRUE(port.setTimeouts({0, 0, 0, 0, 100}));
    const Bytes flood(1 << 20, 0x42);
    std::size_t written = 0;
    EXPECT_FALSE(returnsWithin(10s, "a write to a device that stopped reading",
                               [&] { return port.write(flood.data(), flood.size(), written); }));
    EXPECT_LT(written, flood.size());
}

}  // namespace
}  // namespace tarvelmond::test
