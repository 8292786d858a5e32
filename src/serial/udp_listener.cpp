#include "serial/udp_listener.h"

#include <chrono>
#include <string>

#include "basics/frame_timer.h"
#include "log/error_log.h"
#include "net/udp_port.h"
#include "platform/scheduling.h"
#include "serial/controller_frame.h"
#include "serial/link_state.h"
#include "serial/udp_loop_life.h"

namespace tarvelmond {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kListenPass = std::chrono::milliseconds(2);
constexpr auto kSerialLiveCheck = std::chrono::milliseconds(100);

bool sameEndpoint(const platform::Ipv4Endpoint& a, const platform::Ipv4Endpoint& b) {
    return a.address == b.address && a.port == b.port;
}

class ListenLoop {
  public:
    ListenLoop(LinkState& state, UdpPort& port) : state_(state), port_(port) {}

    void pass() {
        // The serial link carries the controller: UDP is not read; what arrives waits in the socket.
        if (state_.serialControllerPresent.load()) {
            sleepFor(kSerialLiveCheck);
            return;
        }
        receive();
        const auto now = Clock::now();
        if (state_.udpControllerPresent.load() && now - lastFrame_ >= kUdpControllerSilence) fallSilent();
        sleepFor(kListenPass);
    }

  private:
    void receive() {
        const auto datagram = port_.receiveDatagram();
        if (datagram.empty()) return;
        // Once a controller has the link, another machine on the LAN sending frames to this port
        // must not take it over or slip frames in: only the controller's own address counts.
        const bool live = state_.udpControllerPresent.load();
        if (live && !sameEndpoint(port_.address(), controller_)) return;
        if (!cutControllerDatagram(datagram, state_.udpReceiveQueue)) return;
        if (!claimLink(state_, LinkOwner::Udp)) return;  // the serial link won the race
        if (!live) controller_ = port_.address();
        lastFrame_ = Clock::now();
    }

    // The controller has gone: the link is free for the serial port or another UDP controller. The
    // motion frames waiting for it are stale; the host's own messages keep their place, since the
    // host was told they were queued. They go before the link is freed, so that a serial controller
    // that takes it at once never receives them.
    void fallSilent() {
        state_.serialSendQueue.removeAll(MessageKind::Motion);
        state_.udpSendQueue.removeAll(MessageKind::Motion);
        releaseLink(state_, LinkOwner::Udp);
    }

    LinkState& state_;
    UdpPort& port_;
    platform::Ipv4Endpoint controller_{};
    Clock::time_point lastFrame_ = Clock::now();
};

}  // namespace

bool cutControllerDatagram(std::span<const std::uint8_t> datagram, MessageQueue& queue) {
    bool found = false;
    cutControllerFrames(datagram.data(), datagram.size(), queue, found);
    return found;
}

void setUdpListenPort(LinkState& state, std::uint16_t port) {
    state.udpListenPort.store(port);
    ErrorLog().logInfo("UDP Controller Thread : Set UdpPort : " + std::to_string(port));
}

void runUdpListener(LinkState& state) {
    UdpLoopLife life(state, state.udpListener);
    if (!life.started()) return;  // one listener owns the port and the link's UDP side
    ErrorLog log;
    log.logInfo("Udp listen thread: starting");
    platform::requestFineTimerResolution();
    platform::raiseToRealtimePriority();
    {
        UdpPort port;
        // A port that does not open (taken by another program) is logged by the port; the loop runs
        // on and finds nothing, so that a stop still finds it and the host's thread returns as usual.
        port.openUdpPort(state.udpListenPort.load());
        log.logInfo("Udp listen thread: port opened starting main routine");
        ListenLoop loop(state, port);
        while (life.running())
            loop.pass();
        log.logInfo("Udp listen thread: closing");
        port.closeUdpPort();
    }
    // A loop that has ended reads nothing more: its controller no longer has the link, or the bridge
    // would idle behind it after a restart.
    releaseLink(state, LinkOwner::Udp);
}

}  // namespace tarvelmond
