#include "serial/multicast_sender.h"

#include <chrono>
#include <cstring>
#include <string>

#include "basics/frame_timer.h"
#include "log/error_log.h"
#include "net/adapter_choice.h"
#include "net/dotted_quad.h"
#include "platform/scheduling.h"
#include "platform/sockets.h"
#include "serial/controller_frame.h"
#include "serial/crc16.h"
#include "serial/link_state.h"
#include "serial/udp_loop_life.h"

namespace tarvelmond {
namespace {

constexpr auto kIdlePass = std::chrono::milliseconds(100);
// Longer than any valid text (leading zeros aside); a text without its end within it is refused
// rather than read on without bound.
constexpr std::size_t kMaxAddressText = 64;

std::string groupText(const MulticastGroup& group) {
    return dottedQuadText(group.address) + " and Port: " + std::to_string(group.port);
}

class SenderLoop {
  public:
    SenderLoop(LinkState& state, platform::Socket& socket, const platform::Ipv4Endpoint& group, ErrorLog& log)
        : state_(state), socket_(socket), group_(group), log_(log) {}

    // False when a send failed and the sender must end.
    bool pass() {
        if (!state_.interfaceRunning.load() || state_.serialControllerPresent.load()) {
            sleepFor(kIdlePass);  // the serial link has the controller: nothing goes over UDP
            return true;
        }
        if (!sendHostMessages()) return false;
        if (state_.autoSendQueue.front(scratch_)) {
            if (firmwareCrcCapable().load()) stampCrc(scratch_.bytes.data(), scratch_.size);
            if (!sendScratch()) return false;
            repeatOrRetire(state_.autoSendQueue, scratch_.id, state_.udpAutoRepeatCount);
        }
        return waitForNextPass();
    }

  private:
    bool sendHostMessages() {
        seenPushes_ = state_.udpSendQueue.pushCount();
        while (state_.udpSendQueue.front(scratch_)) {
            stampCrc(scratch_.bytes.data(), scratch_.size);
            if (!sendScratch()) return false;  // the message stays queued for whoever takes it next
            state_.udpSendQueue.popFrontIf(scratch_.id);
        }
        return true;
    }

    // Asleep until the 2 ms period ends, except to send at once what the host or the real-time thread
    // queues meanwhile: a frame leaves when it is queued, not at the next pass. (With
    // TARVELMOND_PACING=legacy: the old sleep-and-spin pacing, kept for comparisons.)
    bool waitForNextPass() {
        FrameTimer& timer = state_.senderTimer;
        if (timer.legacyPacing) {
            timer.waitNextTick();
            return true;
        }
        const auto end = timer.periodEnd();
        for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
            if (state_.udpSendQueue.pushCount() != seenPushes_ && !sendHostMessages()) return false;
            state_.udpSendQueue.waitForPush(seenPushes_, end);
        }
        timer.closePeriod();
        return true;
    }

    bool sendScratch() {
        if (scratch_.size <= 2) return true;  // a bare terminator is never sent
        if (socket_.sendTo({scratch_.bytes.data(), scratch_.size}, group_) >= 0) return true;
        log_.logInfo("Multicastthread: Send failed:" + std::to_string(platform::lastSocketError()));
        return false;
    }

    LinkState& state_;
    platform::Socket& socket_;
    platform::Ipv4Endpoint group_;
    ErrorLog& log_;
    Message scratch_;
    std::uint64_t seenPushes_ = 0;
};

}  // namespace

void setMulticastGroup(LinkState& state, const char* text, std::uint16_t port) {
    ErrorLog log;
    const std::size_t length = text != nullptr ? strnlen(text, kMaxAddressText + 1) : 0;
    const auto address = length <= kMaxAddressText && text != nullptr
                             ? parseDottedQuad(std::string_view(text, length))
                             : std::nullopt;
    if (address) {
        state.multicastGroup.store({*address, port});
        log.logInfo("UDP Controller Thread: Validated multicast IP address. using Multicast address: " +
                    std::string(text, length) + " and Port: " + std::to_string(port));
    } else {
        log.logInfo(
            "UDP Controller Thread: Failed to validate multicast IP address. Using default Multicast "
            "address: " +
            groupText(state.multicastGroup.load()));
    }
}

void runMulticastSender(LinkState& state) {
    UdpLoopLife life(state, state.udpSender);
    if (!life.started()) return;  // one sender at a time
    ErrorLog log;
    log.logInfo("Multicast Thread started.");
    platform::requestFineTimerResolution();
    platform::raiseToRealtimePriority();

    platform::SocketLibrary library;
    if (const int result = library.start(); result != 0) {
        log.logInfo("Multicastthread:WSAStartup failed with error: " + std::to_string(result));
        return;
    }
    const auto adapter = preferredEthernetAdapter(log);
    if (!adapter) {
        log.logInfo("Multicastthread:No suitable Ethernet found , exiting");
        return;
    }
    platform::Socket socket = platform::Socket::udp();
    if (!socket.valid()) {
        log.logInfo("Multicastthread:Socket failed with error: " +
                    std::to_string(platform::lastSocketError()));
        return;
    }
    if (!socket.bind({*adapter, 0})) {
        log.logInfo("Multicastthread:Socket failed  bind with error: " +
                    std::to_string(platform::lastSocketError()));
        return;
    }
    log.logInfo("Multicastthread: Bound to Ip: " + dottedQuadText(*adapter));
    // Binding to the adapter's address chooses the source, not the way out: on Linux the route to
    // the group does, so the adapter is named for multicast explicitly.
    if (!socket.setMulticastInterface(*adapter)) {
        log.logInfo("Multicastthread: Setting the multicast interface failed:" +
                    std::to_string(platform::lastSocketError()));
        return;
    }
    const MulticastGroup group = state.multicastGroup.load();
    // Motion frames queued while no sender ran are stale; the host's messages keep their order.
    state.udpSendQueue.removeAll(MessageKind::Motion);

    log.logInfo("Multicastthread: starting Timer");
    state.senderTimer.legacyPacing = FrameTimer::legacyPacingRequested();
    state.senderTimer.tick();
    SenderLoop loop(state, socket, {group.address, group.port}, log);
    while (life.running() && loop.pass()) {
    }
    life.giveUp();

    log.logInfo("Multicastthread: Closing Socket:" + std::to_string(platform::lastSocketError()));
    if (!socket.close()) {
        // Logged and left to the system: the host's process goes on.
        log.logInfo("Multicastthread: Closing Socket failed:" + std::to_string(platform::lastSocketError()));
        return;
    }
    log.logInfo("Multicastthread: Exiting:" + std::to_string(platform::lastSocketError()));
}

}  // namespace tarvelmond
