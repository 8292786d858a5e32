// The controller's port on a real pseudo-terminal: opening by number at the controller's line rate,
// configuration, transfer both ways and closing.
#include <gtest/gtest.h>

#include "serial/link_test_support.h"

namespace tarvelmond::test {
namespace {

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

}  // namespace
}  // namespace tarvelmond::test
