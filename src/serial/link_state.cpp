#include "serial/link_state.h"

namespace tarvelmond {
namespace {

class SystemPorts final : public PortSystem {
  public:
    bool listDeviceNames(std::vector<std::string>& names) override {
        return platform::listDeviceNames(names);
    }
    std::vector<platform::ComPortDevice> listComPortDevices() override {
        return platform::listComPortDevices();
    }
};

}  // namespace

PortSystem& systemPorts() {
    static SystemPorts ports;
    return ports;
}

std::size_t messageLength(const std::uint8_t* bytes) {
    for (std::size_t i = 0; i + 1 < kMaxMessageBytes; ++i)
        if (bytes[i] == 0x0A && bytes[i + 1] == 0x0D) return i + 2;
    return 0;
}

int routeOutgoing(const std::uint8_t* bytes, std::size_t count, MessageKind kind) {
    LinkState& state = link();
    const bool serialLive = state.serialControllerPresent.load();
    const bool udpLive = state.udpControllerPresent.load();
    if (serialLive) {
        if (state.serialSendQueue.push(bytes, count, kind)) return 1;
        if (!udpLive) return -1;
    }
    if (!serialLive && !udpLive) {
        // Nobody has answered yet: offer it to both links, and take it whatever they do.
        state.serialSendQueue.push(bytes, count, kind);
        state.udpSendQueue.push(bytes, count, kind);
        return 1;
    }
    return state.udpSendQueue.push(bytes, count, kind) ? 1 : -1;
}

int sendMotionFrame(const std::uint8_t* frame, std::size_t count) {
    LinkState& state = link();
    if (!state.bridgeRunning.load() && !state.udpRunning.load()) return -1;
    return routeOutgoing(frame, count, MessageKind::Motion);
}

}  // namespace tarvelmond
