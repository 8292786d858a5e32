// Finding the controller: the standard port's name, the system's port list, the USB identity check,
// the identification handshake of the standard port and of the bridge's automatic scan.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>

#include "peers/virtual_controller.h"
#include "serial/link_test_support.h"
#include "serial/port_discovery.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Answer = VirtualController::Answer;

class PortDiscovery : public ::testing::Test {
  protected:
    void SetUp() override { resetLink(); }
    void TearDown() override { resetLink(); }
};

TEST_F(PortDiscovery, TheStandardPortIsTheNumberAfterCom) {
    EXPECT_EQ(setStandartPort("COM7"), 1);
    EXPECT_EQ(link().standardPortNumber.load(), 7);
    EXPECT_EQ(setStandartPort("\\\\.\\COM12"), 1);
    EXPECT_EQ(link().standardPortNumber.load(), 12);
    EXPECT_EQ(setStandartPort("USB0"), 0);
    EXPECT_EQ(link().standardPortNumber.load(), 12);
    EXPECT_EQ(setStandartPort("com3"), 0) << "case-sensitive";
    EXPECT_EQ(setStandartPort("COM"), 1);
    EXPECT_EQ(link().standardPortNumber.load(), 0);
    EXPECT_EQ(setStandartPort("COM-4x"), 1);
    EXPECT_EQ(link().standardPortNumber.load(), -4);
    EXPECT_EQ(setStandartPort(nullptr), 0);
}

TEST_F(PortDiscovery, OnlyComNamesWithDigitsAreListed) {
    struct Names final : PortSystem {
        bool ok = true;
        bool listDeviceNames(std::vector<std::string>& names) override {
            names = {"COM3", "LPT1", "com12", "COM", "COMX1", "COM7A", "Com5", "C:", "COM0"};
            return ok;
        }
        std::vector<platform::ComPortDevice> listComPortDevices() override { return {}; }
    } names;
    link().portSystem.store(&names);
    std::vector<std::uint32_t> ports = {99};
    ASSERT_TRUE(enumeratePorts(ports));
    EXPECT_EQ(ports, (std::vector<std::uint32_t>{3, 12, 5, 0}));
    names.ok = false;
    EXPECT_FALSE(enumeratePorts(ports));
}

TEST_F(PortDiscovery, TheSystemListsAPseudoTerminalStandingInForAPort) {
    VirtualController controller(uniqueComNumber(0), Answer::Silent);
    ASSERT_TRUE(controller.ready());
    std::vector<std::uint32_t> ports;
    ASSERT_TRUE(enumeratePorts(ports));  // the system's own list
    EXPECT_NE(std::find(ports.begin(), ports.end(), static_cast<std::uint32_t>(controller.comNumber())),
              ports.end());
}

TEST_F(PortDiscovery, TheVendorCheckMatchesFriendlyNamesAsSubstringsAndKnowsFourChips) {
    FakePorts ports;
    ports.add("COM10");
    ports.add("COM4", "USB\\VID_067B&PID_2303&REV_0300");
    ports.add("COM5", "USB\\VID_0403&PID_6001&REV_0600\nFTDIBUS\\COMPORT");
    ports.add("COM6", "USB\\VID_10C4&PID_EA60");
    ports.add("COM8", "USB\\VID_03EB&PID_6124");
    PortsInstalled installed(ports);
    EXPECT_TRUE(checkPortVendor("COM10"));
    EXPECT_TRUE(checkPortVendor("COM1")) << "(COM10) contains COM1";
    EXPECT_TRUE(checkPortVendor("COM5"));
    EXPECT_TRUE(checkPortVendor("COM6"));
    EXPECT_TRUE(checkPortVendor("COM8"));
    bool accepted = true;
    EXPECT_EQ(printedBy([&] { accepted = checkPortVendor("COM4"); }), "vid wrong \n\r");
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(checkPortVendor("COM9"));
}

// A port the system cannot identify (here a pseudo-terminal) passes the system's own identity check
// only while the user declares an accepted identity for it; entries that are not "COMn=ids" are ignored.
TEST_F(PortDiscovery, ADeclaredIdentityIsJudgedLikeTheSystemsOwn) {
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

    const auto declared = platform::parseDeclaredPorts(
        " com07 = USB\\VID_0403&PID_6001 ;COM=USB\\VID_0403&PID_6001;COM8;COM0=x;LPT1=y;COM9=;COM12=A\nB");
    ASSERT_EQ(declared.size(), 2u);
    EXPECT_EQ(declared[0].friendlyName, "Declared port (COM7)");
    EXPECT_EQ(declared[0].hardwareIds, "USB\\VID_0403&PID_6001");
    EXPECT_EQ(declared[1].friendlyName, "Declared port (COM12)");
    EXPECT_EQ(declared[1].hardwareIds, "A\nB");
    EXPECT_TRUE(platform::parseDeclaredPorts("").empty());
}

TEST_F(PortDiscovery, TheStandardPortAcceptsOnlyTheFirstIdentityInTerminatorForm) {
    VirtualController controller(uniqueComNumber(0), Answer::Identity1);
    ASSERT_TRUE(controller.ready());
    FakePorts ports;
    ports.add(controller.comName());
    PortsInstalled installed(ports);
    link().standardPortNumber.store(controller.comNumber());

    int result = 0;
    EXPECT_EQ(printedBy([&] { result = connectStandardPort(); }), "opened....id correct. \n");
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(link().portConnected.load());
    EXPECT_EQ(connectStandardPort(), 0) << "already connected";
    // The answer to the first request can arrive before the controller has read the second.
    EXPECT_TRUE(eventually([&] { return controller.identificationRequests() == 2; }))
        << "the request goes twice";
    closePort();

    controller.setAnswer(Answer::Identity2Crc);
    EXPECT_EQ(printedBy([&] { result = connectStandardPort(); }), "opened.... wrong id");
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(link().portConnected.load());
    EXPECT_FALSE(serialPort().isOpen());
}

TEST_F(PortDiscovery, AStandardPortWithoutAKnownChipIsNotOpened) {
    FakePorts ports;
    PortsInstalled installed(ports);
    link().standardPortNumber.store(missingComNumber());
    int result = 1;
    EXPECT_EQ(printedBy([&] { result = connectStandardPort(); }), "fail vid..");
    EXPECT_EQ(result, 0);
}

TEST_F(PortDiscovery, ResumeConnectsTheStandardPortOrGivesUpAfterThreeTries) {
    // A COM number of its own: under Wine, the next pair on the number this test used has been seen
    // to miss what the library wrote to it (a quirk of the Wine set-up, not yet understood).
    VirtualController controller(uniqueComNumber(3), Answer::Identity1);
    ASSERT_TRUE(controller.ready());
    FakePorts ports;
    ports.add(controller.comName());
    PortsInstalled installed(ports);
    link().standardPortNumber.store(controller.comNumber());
    EXPECT_EQ(resumeInterface(), 1);
    EXPECT_TRUE(link().portConnected.load());
    closePort();

    controller.setAnswer(Answer::Wrong);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(resumeInterface(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1400ms) << "three tries, 500 ms apart";
    EXPECT_EQ(controller.identificationRequests(), 2 + 3 * 2);
}

// The bridge's scan over several ports, each with its own device.
class AutomaticScan : public PortDiscovery {
  protected:
    bool scanConnects(std::chrono::milliseconds timeout = 8000ms) {
        enableAutoconnect();
        BridgeThread bridge;
        const bool connected = eventually([] { return link().portConnected.load(); }, timeout);
        bridge.stop();
        return connected;
    }
};

TEST_F(AutomaticScan, AcceptsEachOfTheFourAnswers) {
    for (Answer answer : {Answer::Identity1, Answer::Identity1Crc, Answer::Identity2, Answer::Identity2Crc}) {
        resetLink();
        VirtualController controller(uniqueComNumber(0), answer);
        ASSERT_TRUE(controller.ready());
        FakePorts ports;
        ports.add(controller.comName());
        PortsInstalled installed(ports);
        EXPECT_TRUE(scanConnects()) << static_cast<int>(answer);
    }
}

TEST_F(AutomaticScan, SkipsWrongChipsAndWrongAnswersAndJudgesTheLastEightBytes) {
    VirtualController wrongChip(uniqueComNumber(0), Answer::Identity1);
    VirtualController wrongAnswer(uniqueComNumber(1), Answer::Wrong);
    VirtualController talkative(uniqueComNumber(2), Answer::Identity2Crc);
    ASSERT_TRUE(wrongChip.ready() && wrongAnswer.ready() && talkative.ready());
    talkative.setAnswerPrefix(std::vector<std::uint8_t>(12, 0x5A));  // 20 bytes in all
    FakePorts ports;
    ports.add(wrongChip.comName(), "USB\\VID_067B&PID_2303");
    ports.add(wrongAnswer.comName());
    ports.add(talkative.comName());
    PortsInstalled installed(ports);

    enableAutoconnect();
    BridgeThread bridge;
    ASSERT_TRUE(eventually([] { return link().portConnected.load(); }, 8000ms));
    EXPECT_EQ(wrongChip.identificationRequests(), 0) << "a port behind another chip is not opened";
    EXPECT_TRUE(eventually([&] { return wrongAnswer.identificationRequests() == 2; }));
    EXPECT_TRUE(eventually([&] { return talkative.identificationRequests() == 2; }));

    // After the scan the controller receives two commands, their CRC in place of the terminator.
    ASSERT_TRUE(talkative.waitFor(
        [](const auto& m) {
            return std::count_if(m.begin(), m.end(), [](const ReceivedMessage& r) { return r.crcForm; }) >= 2;
        },
        5s));
    std::vector<std::vector<std::uint8_t>> commands;
    for (const ReceivedMessage& r : talkative.received())
        if (r.kind == ReceivedMessage::Kind::Command && r.crcForm) commands.push_back(r.bytes);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], controllerFrame(0xF9, {0x04, 0x00, 0x01, 0x00}, true));
    EXPECT_EQ(commands[1], controllerFrame(0xF9, {0x02, 0x00, 0x01, 0x00}, true));
    EXPECT_EQ(talkative.crcFailures(), 0);
}

TEST_F(AutomaticScan, StopsScanningWhenAutoConnectIsSwitchedOff) {
    std::vector<std::unique_ptr<VirtualController>> silent;
    FakePorts ports;
    for (int i = 0; i < 4; ++i) {
        silent.push_back(std::make_unique<VirtualController>(uniqueComNumber(i), Answer::Silent));
        ports.add(silent.back()->comName());
    }
    PortsInstalled installed(ports);
    const auto requests = [&] {
        int sum = 0;
        for (const auto& controller : silent)
            sum += controller->identificationRequests();
        return sum;
    };
    enableAutoconnect();
    BridgeThread bridge;
    ASSERT_TRUE(eventually([&] { return requests() > 0; }, 5000ms)) << "the scan is under way";
    disableAutoconnect();
    std::this_thread::sleep_for(300ms);  // a probe under way finishes
    const int settled = requests();
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(requests(), settled) << "no port is probed once auto-connect is off";
    EXPECT_FALSE(link().portConnected.load());
}

}  // namespace
}  // namespace tarvelmond::test
