// The controller's port on a real pseudo-terminal: opening by number, configuration, closing, and the
// exception that carries the system's error code.
#include <gtest/gtest.h>

#include <string>

#include "peers/virtual_controller.h"
#include "serial/link_test_support.h"

namespace tarvelmond::test {
namespace {

class SerialPortAccess : public ::testing::Test {
  protected:
    void SetUp() override { resetLink(); }
    void TearDown() override { resetLink(); }
};

TEST_F(SerialPortAccess, APortThatDoesNotExistOpensNeitherWay) {
    const int missing = missingComNumber();
    EXPECT_EQ(openPort(missing), 0);
    EXPECT_FALSE(serialPort().isOpen());
    EXPECT_THROW(openAndConfigurePort(missing), CSerialException);
    EXPECT_FALSE(serialPort().isOpen());
}

TEST_F(SerialPortAccess, OpensConfiguresWritesReadsAndClosesAPseudoTerminal) {
    VirtualController controller(uniqueComNumber(0), VirtualController::Answer::Silent);
    ASSERT_TRUE(controller.ready());
    ASSERT_EQ(openAndConfigurePort(controller.comNumber()), 1);
    EXPECT_TRUE(serialPort().isOpen());

    const std::vector<std::uint8_t> frame = {0xF9, 0xF9, 0x03, 0x00, 0x01, 0x02, 0x0A, 0x0D};
    serialPort().write(frame.data(), frame.size());
    ASSERT_TRUE(controller.waitFor([](const auto& m) { return !m.empty(); }, std::chrono::seconds(5)));
    EXPECT_EQ(controller.rawBytes(), frame);

    controller.send({1, 2, 3, 4, 5});
    ASSERT_TRUE(eventually([] { return serialPort().status().bytesToRead >= 5; }));
    std::uint8_t got[8] = {};
    EXPECT_EQ(serialPort().read(got, 5), 5u);
    EXPECT_EQ(std::vector<std::uint8_t>(got, got + 5), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));

    link().portConnected.store(true);
    EXPECT_EQ(closePort(), 1);
    EXPECT_FALSE(link().portConnected.load()) << "closing clears portConnected";
    EXPECT_FALSE(serialPort().isOpen());
    EXPECT_EQ(closePort(), 1);
    EXPECT_THROW(serialPort().write(frame.data(), frame.size()), CSerialException);
}

TEST_F(SerialPortAccess, TheControllerPortRunsAt250000Baud) {
    FarEnd device(uniqueComNumber(1));
    ASSERT_TRUE(device.ready());
    ASSERT_EQ(openPort(device.comNumber()), 1);
    const std::uint32_t rate = device.libraryLineRate();
    closePort();
    if (rate == 0) GTEST_SKIP() << "the far end cannot see the rate here (Wine)";
    EXPECT_EQ(rate, 250000u) << "a rate termios has no constant for";
}

TEST_F(SerialPortAccess, OpeningAnotherPortClosesTheFirstEvenWhenTheSecondFails) {
    VirtualController first(uniqueComNumber(0), VirtualController::Answer::Silent);
    ASSERT_TRUE(first.ready());
    ASSERT_EQ(openPort(first.comNumber()), 1);
    EXPECT_EQ(openPort(missingComNumber()), 0);
    EXPECT_FALSE(serialPort().isOpen());
    // The first port is free again: it opens once more.
    EXPECT_EQ(openPort(first.comNumber()), 1);
    closePort();
}

TEST_F(SerialPortAccess, ThePortIsOpenedExclusively) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows refuses a second open of a COM device itself; Wine does not emulate that";
#endif
    VirtualController controller(uniqueComNumber(0), VirtualController::Answer::Silent);
    ASSERT_TRUE(controller.ready());
    ASSERT_EQ(openPort(controller.comNumber()), 1);
    platform::SerialDevice second;
    EXPECT_FALSE(second.open(controller.comName()));
    closePort();
    EXPECT_TRUE(second.open(controller.comName()));
}

TEST_F(SerialPortAccess, TheExceptionCarriesTheSystemErrorAndItsText) {
    platform::setLastSystemError(2);  // "file not found" on both systems
    try {
        raiseSerialException();
        FAIL();
    } catch (const CSerialException& e) {
        EXPECT_EQ(e.m_dwError, 2u);
        wchar_t text[256];
        unsigned context = 7;
        EXPECT_TRUE(e.GetErrorMessage(text, 256, &context));
        EXPECT_EQ(context, 0u);
        EXPECT_GT(std::wstring(text).size(), 3u);
        wchar_t tiny[4];
        EXPECT_TRUE(e.GetErrorMessage(tiny, 4));
        EXPECT_EQ(std::wstring(tiny).size(), 3u) << "truncated to fit";
        EXPECT_THROW(e.GetErrorMessage(nullptr, 0), std::invalid_argument);
    }
    CSerialException unknown(0x7FFFFFF0u);
    wchar_t text[64] = L"x";
    EXPECT_FALSE(unknown.GetErrorMessage(text, 64));
    EXPECT_EQ(text[0], L'\0');
}

}  // namespace
}  // namespace tarvelmond::test
