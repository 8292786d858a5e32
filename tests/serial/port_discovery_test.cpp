// Finding the controller: the USB identity check (the system's and a declared one), the identification
// handshake of the standard port and of the bridge's automatic scan.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>

#include "serial/link_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Answer = VirtualController::Answer;

class PortDiscovery : public ::testing::Test {
  protected:
    void SetUp() override { resetLink(); }
    void TearDown() override { resetLink(); }
};

// The USB identity check knows four chips and matches friendly names as substrings. A port the system
// cannot identify (a pseudo-terminal) passes it only while the user declares an accepted identity for
// it; entries that are not "COMn=ids" are ignored.
TEST_F(PortDiscovery, TheIdentityCheckJudgesTheSystemsAndDeclaredIdentitiesAlike) {
    {
        FakePorts ports;
        ports.add("COM10");
        ports.add("COM4", "USB\\VID_067B&PID_2303&REV_0300");
        ports.add("COM5", "USB\\VID_0403&PID_6001&REV_0600\nFTDIBUS\\COMPORT");
        ports.add("COM6", "USB\\VID_10C4&PID_EA60");
        ports.add("COM8", "USB\\VID_03EB&PID_6124");
        for (const char* accepted : {"COM10", "COM1", "COM5", "COM6", "COM8"})
            EXPECT_TRUE(checkPortVendor(accepted)) << accepted << " ((COM10) contains COM1)";
        EXPECT_EQ(printedBy([] { EXPECT_FALSE(checkPortVendor("COM4")); }), "vid wrong \n\r");
    }
    VirtualController controller(uniqueComNumber(1), Answer::Silent);
    ASSERT_TRUE(controller.ready());
    const std::string name = controller.comName();
    EXPECT_FALSE(checkPortVendor(name)) << "no USB identity of its own";
    declarePortIdentity(controller.comNumber());
    EXPECT_TRUE(checkPortVendor(name));
    declarePortIdentity(controller.comNumber(), "USB\\VID_067B&PID_2303");
    EXPECT_EQ(printedBy([&] { EXPECT_FALSE(checkPortVendor(name)); }), "vid wrong \n\r");
    declarePortIdentity(250, "USB\\VID_1A86&PID_7523");
    EXPECT_FALSE(checkPortVendor(name)) << "declared for another port";

    const auto declared =
        platform::parseDeclaredPorts(" com07 = A ;COM=B;COM8;COM0=x;LPT1=y;COM9=;COM12=C\nD");
    ASSERT_EQ(declared.size(), 2u);
    EXPECT_EQ(declared[0].friendlyName + declared[0].hardwareIds, "Declared port (COM7)A");
    EXPECT_EQ(declared[1].friendlyName + declared[1].hardwareIds, "Declared port (COM12)C\nD");
}

TEST_F(PortDiscovery, TheStandardPortAcceptsOnlyTheFirstIdentityInTerminatorForm) {
    VirtualController controller(uniqueComNumber(0), Answer::Identity1);
    ASSERT_TRUE(controller.ready());
    FakePorts ports;
    ports.add(controller.comName());
    EXPECT_EQ(setStandartPort(("\\\\.\\" + controller.comName()).c_str()), 1);
    EXPECT_EQ(link().standardPortNumber.load(), controller.comNumber());

    int result = 0;
    EXPECT_EQ(printedBy([&] { result = connectStandardPort(); }), "opened....id correct. \n");
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(link().portConnected.load());
    // The answer to the first request can arrive before the controller has read the second.
    EXPECT_TRUE(eventually([&] { return controller.identificationRequests() == 2; })) << "asked twice";
    closePort();

    controller.setAnswer(Answer::Identity2Crc);
    EXPECT_EQ(printedBy([&] { result = connectStandardPort(); }), "opened.... wrong id");
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(link().portConnected.load());
    EXPECT_FALSE(serialPort().isOpen());
}

TEST_F(PortDiscovery, TheAutomaticScanAcceptsEachOfTheFourAnswers) {
    for (Answer answer : {Answer::Identity1, Answer::Identity1Crc, Answer::Identity2, Answer::Identity2Crc}) {
        resetLink();
        VirtualController controller(uniqueComNumber(0), answer);
        ASSERT_TRUE(controller.ready());
        FakePorts ports;
        ports.add(controller.comName());
        enableAutoconnect();
        BridgeThread bridge;
        EXPECT_TRUE(eventually([] { return link().portConnected.load(); }, 8000ms))
            << static_cast<int>(answer);
    }
}

// The scan skips a port behind another chip and one that answers wrongly, finds the answer among the last
// bytes of a talkative device's answer, and then sends the controller two commands with their CRC.
TEST_F(PortDiscovery, TheAutomaticScanSkipsWrongChipsAndWrongAnswers) {
    VirtualController wrongChip(uniqueComNumber(0), Answer::Identity1);
    VirtualController wrongAnswer(uniqueComNumber(1), Answer::Wrong);
    VirtualController talkative(uniqueComNumber(2), Answer::Identity2Crc);
    ASSERT_TRUE(wrongChip.ready() && wrongAnswer.ready() && talkative.ready());
    talkative.setAnswerPrefix(Bytes(12, 0x5A));  // 20 bytes in all
    FakePorts ports;
    ports.add(wrongChip.comName(), "USB\\VID_067B&PID_2303");
    ports.add(wrongAnswer.comName());
    ports.add(talkative.comName());

    enableAutoconnect();
    BridgeThread bridge;
    ASSERT_TRUE(eventually([] { return link().portConnected.load(); }, 8000ms));
    EXPECT_EQ(wrongChip.identificationRequests(), 0) << "a port behind another chip is not opened";
    EXPECT_GE(wrongAnswer.identificationRequests(), 2) << "asked, and passed over";
    const auto commands = [&] {
        std::vector<Bytes> out;
        for (const ReceivedMessage& r : talkative.received())
            if (r.kind == ReceivedMessage::Kind::Command && r.crcForm) out.push_back(r.bytes);
        return out;
    };
    ASSERT_TRUE(eventually([&] { return commands().size() >= 2; }));
    EXPECT_EQ(commands(), (std::vector<Bytes>{controllerFrame(0xF9, {0x04, 0x00, 0x01, 0x00}, true),
                                              controllerFrame(0xF9, {0x02, 0x00, 0x01, 0x00}, true)}));
}

// A controller that reports its status every few milliseconds, asked or not, has sent reports after its
// answer by the time the scan reads: the answer still counts.
TEST_F(PortDiscovery, TheAutomaticScanFindsAControllerThatReportsUnasked) {
    VirtualController chatty(uniqueComNumber(0), Answer::Identity1Crc);
    ASSERT_TRUE(chatty.ready());
    chatty.reportStatusEvery(3ms);
    FakePorts ports;
    ports.add(chatty.comName());
    enableAutoconnect();
    BridgeThread bridge;
    EXPECT_TRUE(eventually([] { return link().portConnected.load(); }, 8000ms));
}

}  // namespace
}  // namespace tarvelmond::test
