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

namespace {

std::atomic<bool>& presentFlag(LinkState& state, LinkOwner owner) {
    return owner == LinkOwner::Serial ? state.serialControllerPresent : state.udpControllerPresent;
}

}  // namespace

bool claimLink(LinkState& state, LinkOwner owner) {
    LinkOwner expected = LinkOwner::None;
    if (!state.linkOwner.compare_exchange_strong(expected, owner) && expected != owner) return false;
    presentFlag(state, owner).store(true);
    return true;
}

void releaseLink(LinkState& state, LinkOwner owner) {
    if (state.linkOwner.load() != owner) {
        presentFlag(state, owner).store(false);  // never claimed: nothing else to give up
        return;
    }
    presentFlag(state, owner).store(false);
    LinkOwner expected = owner;
    state.linkOwner.compare_exchange_strong(expected, LinkOwner::None);
}

bool udpLoopRunning(const LinkState& state) {
    return state.udpListener.running.load() || state.udpSender.running.load();
}

namespace {

// The bridge takes the serial send queue only from a connected port, while it runs, the interface is
// not paused and no UDP controller has the link.
bool serialQueueTaken(const LinkState& state) {
    return state.bridgeActive.load() && state.bridgeRunning.load() && state.portConnected.load() &&
           state.interfaceRunning.load() && !state.udpControllerPresent.load();
}

// The multicast sender takes the UDP send queue while it runs, the interface is not paused and the
// serial link does not carry the controller.
bool udpQueueTaken(const LinkState& state) {
    return state.udpSender.running.load() && state.interfaceRunning.load() &&
           !state.serialControllerPresent.load();
}

// A motion frame waiting for a link that takes nothing is stale by the time the link takes it again:
// such a queue keeps only the newest.
bool pushTo(MessageQueue& queue, bool taken, const std::uint8_t* bytes, std::size_t count, MessageKind kind) {
    if (kind == MessageKind::Motion && !taken) return queue.pushReplacingMotion(bytes, count);
    return queue.push(bytes, count, kind);
}

}  // namespace

int routeOutgoing(LinkState& state, const std::uint8_t* bytes, std::size_t count, MessageKind kind) {
    const bool serialLive = state.serialControllerPresent.load();
    const bool udpLive = state.udpControllerPresent.load();
    if (serialLive) {
        if (pushTo(state.serialSendQueue, serialQueueTaken(state), bytes, count, kind)) return 1;
        if (!udpLive) return -1;
    }
    if (!serialLive && !udpLive) {
        // Nobody has answered yet: offer it to both links; it is queued if either took it.
        const bool serial = pushTo(state.serialSendQueue, serialQueueTaken(state), bytes, count, kind);
        const bool udp = pushTo(state.udpSendQueue, udpQueueTaken(state), bytes, count, kind);
        return serial || udp ? 1 : -1;
    }
    return pushTo(state.udpSendQueue, udpQueueTaken(state), bytes, count, kind) ? 1 : -1;
}

int routeOutgoing(const std::uint8_t* bytes, std::size_t count, MessageKind kind) {
    return routeOutgoing(link(), bytes, count, kind);
}

bool LinkState::takeFrame(const std::uint8_t* frame, std::size_t count) {
    if (!bridgeRunning.load() && !udpLoopRunning(*this)) return false;
    return routeOutgoing(*this, frame, count, MessageKind::Motion) == 1;
}

void LinkState::dropWaitingFrames() {
    serialSendQueue.removeAll(MessageKind::Motion);
    udpSendQueue.removeAll(MessageKind::Motion);
}

int sendMotionFrame(const std::uint8_t* frame, std::size_t count) {
    return link().takeFrame(frame, count) ? 1 : -1;
}

}  // namespace tarvelmond
