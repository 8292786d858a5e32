// The serial link's flat exports: the bridge's life cycle, the host's messages in both directions and
// the connection controls.
#include <tarvelmond.h>

#include <cstdio>
#include <cstring>

#include "serial/bridge.h"
#include "serial/link_state.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"

using namespace tarvelmond;

namespace {

bool anyLoopRunning(const LinkState& state) {
    return state.bridgeRunning.load() || udpLoopRunning(state);
}

// The live link's received frames: serial first, then UDP; null when neither carries a controller.
MessageQueue* liveReceiveQueue(LinkState& state) {
    if (state.serialControllerPresent.load()) return &state.serialReceiveQueue;
    if (state.udpControllerPresent.load()) return &state.udpReceiveQueue;
    return nullptr;
}

}  // namespace

extern "C" {

int startKestrovane_Thread(void) {
    return runBridge();
}

void stopKestrovane_Thread(void) {
    stopBridge();
}

int sendMessagemmf(const unsigned char* message) {
    LinkState& state = link();
    if (!anyLoopRunning(state) || message == nullptr) return -1;
    const std::size_t length = messageLength(message);
    if (length == 0) return -1;
    return routeOutgoing(message, length, MessageKind::Host);
}

int autoMessagemmf(const unsigned char* message) {
    LinkState& state = link();
    const std::size_t length = anyLoopRunning(state) && message != nullptr ? messageLength(message) : 0;
    if (length == 0) {
        std::printf("no valid data");
        std::fflush(stdout);
        return 0;
    }
    return state.autoSendQueue.push(message, length) ? 1 : 0;
}

int readMessagemmf(unsigned char* buffer) {
    LinkState& state = link();
    MessageQueue* source = liveReceiveQueue(state);
    Message frame;
    if (source == nullptr || buffer == nullptr || !source->front(frame)) return 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i + 1 < frame.size && length == 0; ++i)
        if (frame.bytes[i] == 0x0A && frame.bytes[i + 1] == 0x0D) length = i + 2;
    std::memcpy(buffer, frame.bytes.data(), length);
    source->popFrontIf(frame.id);
    return static_cast<int>(length);
}

int newMessagemmf(void) {
    LinkState& state = link();
    MessageQueue* source = liveReceiveQueue(state);
    return source != nullptr && !source->empty() ? 1 : 0;
}

int isConnected(void) {
    LinkState& state = link();
    if (!state.portConnected.load() && !state.udpStarted.load()) return 0;
    return state.bridgeRunning.load() || udpLoopRunning(state) ? 1 : 0;
}

int isInterfaceRunning(void) {
    return link().interfaceRunning.load() ? 1 : 0;
}

int pauseInterface(void) {
    link().interfaceRunning.store(false);
    // The close waits for the port's mutex, which a write to a controller that has stopped reading
    // holds for the whole write time-out; the pause cuts that write short instead.
    serialPort().abandonWaits();
    closePort();
    serialPort().allowWaits();
    return 1;
}

int resumeInterface(void) {
    LinkState& state = link();
    state.interfaceRunning.store(true);
    if (state.autoConnectEnabled.load()) return 1;  // the bridge's scan connects
    for (int attempt = 0; attempt < 3; ++attempt) {
        connectStandardPort();
        if (state.portConnected.load()) return 1;
        sleepFor(std::chrono::milliseconds(500));
    }
    return 0;
}

int enableAutoconnect(void) {
    link().autoConnectEnabled.store(true);
    return 1;
}

int disableAutoconnect(void) {
    link().autoConnectEnabled.store(false);
    return 1;
}

int setStandartPort(const char* port) {
    return setStandardPort(port);
}

double getOutputTimeFrame(void) {
    return link().bridgeTimer.lastIntervalMs();
}

}  // extern "C"
