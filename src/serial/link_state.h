#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "basics/frame_sink.h"
#include "basics/frame_timer.h"
#include "serial/controller_frame.h"
#include "serial/message_queue.h"
#include "serial/port_system.h"

namespace tarvelmond {

inline constexpr std::size_t kSendQueueCap = 150;
inline constexpr std::size_t kReceiveQueueCap = 151;

// The process-wide state of the link to the motion controller, shared by the serial bridge, the UDP
// loops and the host's calls. Flags are atomic bytes; the queues lock themselves. As the output
// stage's frame sink it queues each motion frame for the link that carries the controller.
struct LinkState final : FrameSink {
    // Taken only while a bridge or UDP loop runs.
    bool takeFrame(const std::uint8_t* frame, std::size_t count) override;

    std::atomic<bool> bridgeRunning{false};
    std::atomic<bool> bridgeStopped{false};
    std::atomic<bool> interfaceRunning{true};
    std::atomic<bool> portConnected{false};
    std::atomic<bool> serialControllerPresent{false};
    std::atomic<bool> udpControllerPresent{false};
    std::atomic<bool> autoConnectEnabled{false};
    std::atomic<bool> udpRunning{false};
    std::atomic<bool> udpStopped{false};
    std::atomic<bool> udpStarted{false};
    std::atomic<std::int32_t> autoRepeatCount{0};
    std::atomic<std::int32_t> standardPortNumber{0};

    // A bridge loop is inside startKestrovane_Thread (from its first step to its return).
    std::atomic<bool> bridgeActive{false};
    // The bridge's life cycle. Starts and stops from any host threads decide under this mutex, and
    // the loop decides there whether it ends; the real-time passes never take it.
    enum class BridgePhase : std::uint8_t { Idle, Running, Ending };
    std::mutex bridgeControl;
    std::condition_variable bridgeChanged;
    BridgePhase bridgePhase = BridgePhase::Idle;  // guarded by bridgeControl
    std::uint64_t bridgeStarts = 0;               // guarded by bridgeControl
    // Motion frames that gave way to a newer frame because the wire was busy.
    std::atomic<std::uint64_t> supersededMotionFrames{0};

    MessageQueue serialSendQueue{kSendQueueCap};
    MessageQueue udpSendQueue{kSendQueueCap};
    MessageQueue autoSendQueue{kSendQueueCap};
    MessageQueue serialReceiveQueue{kReceiveQueueCap};
    MessageQueue udpReceiveQueue{kReceiveQueueCap};

    ReceiveBuffer serialReceiveBuffer;  // the bridge thread's only
    FrameTimer bridgeTimer;             // ticked by the bridge thread only

    // One discovery at a time: the bridge's scan and resumeInterface's connection to the standard
    // port both open, probe and close the one port.
    std::mutex discoveryMutex;

    // Where the port discovery learns about ports; tests put a stand-in here.
    std::atomic<PortSystem*> portSystem{&systemPorts()};
};

LinkState& link();

// Queues a message the way sendMessagemmf does once its length is known: 1 queued (on at least one
// link), -1 refused.
int routeOutgoing(LinkState& state, const std::uint8_t* bytes, std::size_t count, MessageKind kind);
int routeOutgoing(const std::uint8_t* bytes, std::size_t count, MessageKind kind);  // the process's link

// A motion frame for the process's link: all of its bytes, whatever they contain; 1 queued, -1 not.
int sendMotionFrame(const std::uint8_t* frame, std::size_t count);

// The length of a host message: up to and including its first 0x0A 0x0D within 512 bytes; 0 if none.
std::size_t messageLength(const std::uint8_t* bytes);

}  // namespace tarvelmond
