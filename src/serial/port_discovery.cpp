#include "serial/port_discovery.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "serial/controller_frame.h"
#include "serial/link_state.h"
#include "serial/serial_port.h"

namespace tarvelmond {
namespace {

using namespace std::chrono_literals;

// The USB serial chips controllers are built with: CH340, FT232R, CP210x and the SAM3X's native port.
constexpr std::array<const char*, 4> kAcceptedIdentities = {"VID_1A86&PID_7523", "VID_0403&PID_6001",
                                                            "VID_10C4&PID_EA60", "VID_03EB&PID_6124"};

constexpr CommandFrame kIdentity1 = {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D};
constexpr std::array<CommandFrame, 4> kScanAnswers = {
    kIdentity1,
    CommandFrame{0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x11},
    CommandFrame{0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x0A, 0x0D},
    CommandFrame{0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x88, 0xE1},
};
constexpr CommandFrame kAfterScanFirst = {0xF9, 0xF9, 0x04, 0x00, 0x01, 0x00, 0x0A, 0x0D};
constexpr CommandFrame kAfterScanSecond = {0xF9, 0xF9, 0x02, 0x00, 0x01, 0x00, 0x0A, 0x0D};

void print(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void sendIdentificationRequest() {
    serialPort().write(kIdentificationRequest.data(), kIdentificationRequest.size());
    serialPort().write(kIdentificationRequest.data(), kIdentificationRequest.size());
}

// Reads exactly `count` bytes unless the port's read time-out passes first.
std::size_t readExactly(std::uint8_t* bytes, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const std::size_t n = serialPort().read(bytes + got, count - got);
        if (n == 0) break;
        got += n;
    }
    return got;
}

bool isComName(const std::string& name, std::uint32_t& number) {
    if (name.size() <= 3) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return false;
    number = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        // Digits beyond any real port number would wrap around into another port's number.
        if (name[i] < '0' || name[i] > '9' || number > 100000U) return false;
        number = number * 10U + static_cast<std::uint32_t>(name[i] - '0');
    }
    return true;
}

// A new connection's two start-up commands, behind the host's messages that waited for it. Those of
// an earlier connection that never went out are replaced: the controller hears one pair per
// connection. No motion frame goes ahead of them: the ones waiting were built before the connection,
// and until the port counts as connected a new frame only replaces them at the back.
void queueStartupCommands(LinkState& state) {
    state.serialSendQueue.removeAll(MessageKind::Connection);
    state.udpSendQueue.removeAll(MessageKind::Connection);
    routeOutgoing(kAfterScanFirst.data(), kAfterScanFirst.size(), MessageKind::Connection);
    routeOutgoing(kAfterScanSecond.data(), kAfterScanSecond.size(), MessageKind::Connection);
    state.serialSendQueue.removeAll(MessageKind::Motion);
}

enum class Probe { Connected, Rejected, EndScan };

Probe probePort(LinkState& state, std::uint32_t number) {
    try {
        openAndConfigurePort(static_cast<int>(number));
        serialPort().purgeInput();
        sendIdentificationRequest();
        sleepFor(10ms);
        const std::size_t waiting = serialPort().status().bytesToRead;
        if (waiting < kIdentificationRequest.size()) throw CSerialException(platform::lastSystemError());
        // A device that sent more than one frame is judged by its last 8 bytes.
        std::array<std::uint8_t, 64> discard{};
        for (std::size_t left = waiting - 8; left > 0;) {
            const std::size_t n = serialPort().read(discard.data(), std::min(left, discard.size()));
            if (n == 0) break;
            left -= n;
        }
        CommandFrame answer{};
        if (readExactly(answer.data(), answer.size()) < answer.size()) {
            closePort();
            return Probe::EndScan;
        }
        if (std::find(kScanAnswers.begin(), kScanAnswers.end(), answer) == kScanAnswers.end()) {
            throw CSerialException(platform::lastSystemError());
        }
        queueStartupCommands(state);
        state.portConnected.store(true);
        return Probe::Connected;
    } catch (const CSerialException& failure) {
        closePort();
        std::printf("Serialexception , Error:%u\n", static_cast<unsigned>(failure.m_dwError));
        std::fflush(stdout);
        return Probe::Rejected;
    }
}

}  // namespace

int setStandardPort(const char* text) {
    if (text == nullptr) return 0;
    const char* com = std::strstr(text, "COM");
    if (com == nullptr) return 0;
    const long number = std::strtol(com + 3, nullptr, 10);
    link().standardPortNumber.store(
        static_cast<std::int32_t>(std::clamp<long>(number, INT32_MIN, INT32_MAX)));
    return 1;
}

bool enumeratePorts(std::vector<std::uint32_t>& ports) {
    ports.clear();
    std::vector<std::string> names;
    if (!link().portSystem.load()->listDeviceNames(names)) return false;
    for (const std::string& name : names) {
        std::uint32_t number = 0;
        if (isComName(name, number)) ports.push_back(number);
    }
    return true;
}

bool checkPortVendor(const std::string& name) {
    for (const platform::ComPortDevice& device : link().portSystem.load()->listComPortDevices()) {
        // A substring test, as the system's friendly names go: "(COM10)" passes for COM1 too.
        if (device.friendlyName.find(name) == std::string::npos) continue;
        for (const char* identity : kAcceptedIdentities)
            if (device.hardwareIds.find(identity) != std::string::npos) return true;
        print("vid wrong \n\r");
    }
    return false;
}

int connectStandardPort() {
    LinkState& state = link();
    if (state.portConnected.load()) return 0;
    std::lock_guard discovery(state.discoveryMutex);
    if (state.portConnected.load()) return 0;  // the bridge's scan connected meanwhile
    sleepFor(5ms);
    const int number = state.standardPortNumber.load();
    if (!checkPortVendor("COM" + std::to_string(number))) {
        print("fail vid..");
        return 0;
    }
    std::uint32_t error = 0;
    try {
        try {
            openAndConfigurePort(number);
        } catch (const CSerialException&) {
            print("Error port open..");
            throw;
        }
        print("opened..");
        sleepFor(15ms);
        serialPort().purgeInput();
        sendIdentificationRequest();
        CommandFrame answer{};
        if (readExactly(answer.data(), answer.size()) == answer.size()) {
            if (answer == kIdentity1) {
                print("..id correct. \n");
                state.portConnected.store(true);
                return 1;
            }
            print(".. wrong id");
            closePort();
            return 0;
        }
        error = platform::lastSystemError();
    } catch (const CSerialException& failure) {
        error = failure.m_dwError;
    }
    closePort();
    std::printf("Serialexception when open port. , Error:%u\n", static_cast<unsigned>(error));
    std::fflush(stdout);
    sleepFor(15ms);
    return 0;
}

int scanPorts() {
    LinkState& state = link();
    sleepFor(50ms);
    std::vector<std::uint32_t> ports;
    if (!enumeratePorts(ports)) {
        std::printf("CEnumerateSerial::UsingQueryDosDevice failed, Error:%u\n",
                    static_cast<unsigned>(platform::lastSystemError()));
        std::fflush(stdout);
        return 0;
    }
    sleepFor(50ms);
    for (std::uint32_t number : ports)
        std::printf("COM%u ", static_cast<unsigned>(number));
    std::fflush(stdout);
    for (std::uint32_t number : ports) {
        sleepFor(200ms);
        if (!state.bridgeRunning.load() || !state.interfaceRunning.load() ||
            !state.autoConnectEnabled.load()) {
            return 0;
        }
        if (!checkPortVendor("COM" + std::to_string(number))) continue;
        std::lock_guard discovery(state.discoveryMutex);
        if (state.portConnected.load()) return 1;  // resumeInterface connected the standard port
        switch (probePort(state, number)) {
            case Probe::Connected:
                return 1;
            case Probe::EndScan:
                return 0;
            case Probe::Rejected:
                break;
        }
    }
    return 0;
}

}  // namespace tarvelmond
