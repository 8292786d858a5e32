#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial/bridge.h"
#include "serial/link_state.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"

// Helpers for the tests of the serial link: the process-wide link state set back between tests, a
// stand-in for the system's port list and USB identities, and the bridge on a host thread.
namespace tarvelmond::test {

inline void resetLink() {
    LinkState& s = link();
    closePort();
    s.bridgeRunning.store(false);
    s.bridgeStopped.store(false);
    s.interfaceRunning.store(true);
    s.portConnected.store(false);
    s.serialControllerPresent.store(false);
    s.udpControllerPresent.store(false);
    s.autoConnectEnabled.store(false);
    s.udpRunning.store(false);
    s.udpStopped.store(false);
    s.udpStarted.store(false);
    s.autoRepeatCount.store(0);
    s.standardPortNumber.store(0);
    s.supersededMotionFrames.store(0);
    for (MessageQueue* q :
         {&s.serialSendQueue, &s.udpSendQueue, &s.autoSendQueue, &s.serialReceiveQueue, &s.udpReceiveQueue}) {
        q->clear();
    }
    s.serialReceiveBuffer.clear();
    s.portSystem.store(&systemPorts());
}

// The ports a test declares, each behind a USB chip of its choice.
class FakePorts final : public PortSystem {
  public:
    void add(const std::string& comName, const std::string& hardwareIds = "USB\\VID_1A86&PID_7523&REV_0254",
             const std::string& friendlyName = "") {
        names_.push_back(comName);
        devices_.push_back(
            {friendlyName.empty() ? "USB-SERIAL CH340 (" + comName + ")" : friendlyName, hardwareIds});
    }
    bool listDeviceNames(std::vector<std::string>& names) override {
        names = names_;
        return !failList_;
    }
    std::vector<platform::ComPortDevice> listComPortDevices() override { return devices_; }
    void failListing() { failList_ = true; }

  private:
    std::vector<std::string> names_;
    std::vector<platform::ComPortDevice> devices_;
    bool failList_ = false;
};

// Installs fake ports for the life of the object.
class PortsInstalled {
  public:
    explicit PortsInstalled(FakePorts& ports) { link().portSystem.store(&ports); }
    ~PortsInstalled() { link().portSystem.store(&systemPorts()); }
};

// The bridge loop on a thread of its own, as a host lends it one.
class BridgeThread {
  public:
    BridgeThread() : thread_([this] { result_ = runBridge(); }) {
        while (!link().bridgeActive.load())
            std::this_thread::yield();
    }
    ~BridgeThread() { stop(); }
    int stop() {
        if (thread_.joinable()) {
            stopBridge();
            thread_.join();
        }
        return result_;
    }

  private:
    int result_ = 0;
    std::thread thread_;
};

// What `action` prints on standard output (captured even if it throws nothing but fails a check).
template <typename Action>
std::string printedBy(Action&& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

// Connects the standard port quietly; 1 on success.
inline int connectQuietly() {
    int result = 0;
    printedBy([&] { result = connectStandardPort(); });
    return result;
}

inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tarvelmond::test
