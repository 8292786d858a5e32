#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "peers/virtual_controller.h"
#include "serial/bridge.h"
#include "serial/link_state.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "support/eventually.h"

// Helpers for the tests of the serial link: the process-wide link state set back between tests, a
// stand-in for the system's port list and USB identities, and the bridge on a host thread.
namespace tarvelmond::test {

using Bytes = std::vector<std::uint8_t>;

inline void resetLink() {
    LinkState& s = link();
    closePort();
    for (std::atomic<bool>* flag :
         {&s.bridgeRunning, &s.bridgeStopped, &s.bridgeActive, &s.portConnected, &s.serialControllerPresent,
          &s.udpControllerPresent, &s.autoConnectEnabled, &s.udpListener.running, &s.udpListener.active,
          &s.udpSender.running, &s.udpSender.active, &s.udpStopped, &s.udpStarted})
        flag->store(false);
    s.interfaceRunning.store(true);
    s.linkOwner.store(LinkOwner::None);
    s.udpListenPort.store(kDefaultUdpListenPort);
    s.autoRepeatCount.store(0);
    s.standardPortNumber.store(0);
    s.supersededMotionFrames.store(0);
    for (MessageQueue* q :
         {&s.serialSendQueue, &s.udpSendQueue, &s.autoSendQueue, &s.serialReceiveQueue, &s.udpReceiveQueue})
        q->clear();
    s.serialReceiveBuffer.clear();
    s.portSystem.store(&systemPorts());
}

// The ports a test declares, each behind a USB chip of its choice; installed for the object's life.
class FakePorts final : public PortSystem {
  public:
    FakePorts() { link().portSystem.store(this); }
    ~FakePorts() override { link().portSystem.store(&systemPorts()); }
    void add(const std::string& comName, const std::string& hardwareIds = "USB\\VID_1A86&PID_7523&REV_0254") {
        names_.push_back(comName);
        devices_.push_back({"USB-SERIAL CH340 (" + comName + ")", hardwareIds});
    }
    bool listDeviceNames(std::vector<std::string>& names) override {
        names = names_;
        return true;
    }
    std::vector<platform::ComPortDevice> listComPortDevices() override { return devices_; }

  private:
    std::vector<std::string> names_;
    std::vector<platform::ComPortDevice> devices_;
};

// The bridge loop on a thread of its own, as a host lends it one.
class BridgeThread {
  public:
    BridgeThread() : thread_([] { runBridge(); }) {
        while (!link().bridgeActive.load())
            std::this_thread::yield();
    }
    ~BridgeThread() {
        stopBridge();
        thread_.join();
    }

  private:
    std::thread thread_;
};

// What `action` prints on standard output.
template <typename Action>
std::string printedBy(Action&& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

}  // namespace tarvelmond::test
