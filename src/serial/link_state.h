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
inline constexpr std::int32_t kDefaultUdpListenPort = 53241;

// The multicast group the sender sends to: address (host byte order) and port in one value, so that a
// sender starting while the host sets it never reads half of an old setting.
struct MulticastGroup {
    std::uint32_t address = 0;
    std::uint16_t port = 0;
};
inline constexpr MulticastGroup kDefaultMulticastGroup = {(232U << 24) | (11U << 16) | (12U << 8) | 14U,
                                                          51324};

// Which link carries the controller. Only one at a time: with both "present" flags set the bridge
// would idle on the UDP one and the UDP loops on the serial one, and nothing would move.
enum class LinkOwner : std::uint8_t { None, Serial, Udp };

// One UDP loop's life. Each loop has its own, so that one failing to start (a sender on a PC without
// wired Ethernet) leaves the other running.
struct UdpLoopFlags {
    std::atomic<bool> running{false};  // to keep running; cleared by stopKestrovane_Thread
    std::atomic<bool> active{false};   // inside its loop, from the start to the return
};

// The process-wide state of the link to the motion controller, shared by the serial bridge, the UDP
// loops and the host's calls. Flags are atomic bytes; the queues lock themselves. As the output
// stage's frame sink it queues each motion frame for the link that carries the controller.
struct LinkState final : FrameSink {
    // Taken only while a bridge or UDP loop runs.
    bool takeFrame(const std::uint8_t* frame, std::size_t count) override;
    void dropWaitingFrames() override;

    std::atomic<bool> bridgeRunning{false};
    std::atomic<bool> bridgeStopped{false};
    std::atomic<bool> interfaceRunning{true};
    std::atomic<bool> portConnected{false};
    std::atomic<bool> serialControllerPresent{false};
    std::atomic<bool> udpControllerPresent{false};
    std::atomic<bool> autoConnectEnabled{false};
    std::atomic<bool> udpStopped{false};
    std::atomic<bool> udpStarted{false};
    std::atomic<LinkOwner> linkOwner{LinkOwner::None};
    UdpLoopFlags udpListener;
    UdpLoopFlags udpSender;
    std::uint64_t udpStarts = 0;  // guarded by bridgeControl
    std::atomic<std::int32_t> udpListenPort{kDefaultUdpListenPort};
    std::atomic<MulticastGroup> multicastGroup{kDefaultMulticastGroup};
    std::atomic<std::int32_t> udpAutoRepeatCount{0};  // the sender's own, apart from the bridge's
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
    FrameTimer senderTimer;             // ticked by the multicast sender's thread only

    // One discovery at a time: the bridge's scan and resumeInterface's connection to the standard
    // port both open, probe and close the one port.
    std::mutex discoveryMutex;

    // Where the port discovery learns about ports; tests put a stand-in here.
    std::atomic<PortSystem*> portSystem{&systemPorts()};
};

LinkState& link();

// Makes `owner` the link that carries the controller and sets its "present" flag; true when it is
// (or already was) the owner, false when the other link has it.
bool claimLink(LinkState& state, LinkOwner owner);
// Gives the link up if `owner` has it, clearing its "present" flag.
void releaseLink(LinkState& state, LinkOwner owner);
// A UDP loop runs (sendMessagemmf and the output frames need one of the loops).
bool udpLoopRunning(const LinkState& state);

// Queues a message the way sendMessagemmf does once its length is known: 1 queued (on at least one
// link), -1 refused.
int routeOutgoing(LinkState& state, const std::uint8_t* bytes, std::size_t count, MessageKind kind);
int routeOutgoing(const std::uint8_t* bytes, std::size_t count, MessageKind kind);  // the process's link

// A motion frame for the process's link: all of its bytes, whatever they contain; 1 queued, -1 not.
int sendMotionFrame(const std::uint8_t* frame, std::size_t count);

// The length of a host message: up to and including its first 0x0A 0x0D within 512 bytes; 0 if none.
std::size_t messageLength(const std::uint8_t* bytes);

}  // namespace tarvelmond
