#pragma once
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "serial/message_queue.h"
#include "serial/wire_meter.h"

namespace tarvelmond {

struct LinkState;
class ControllerLine;

// Motion frames wait while more than this many bytes are still on their way down the wire: about
// half a millisecond at 250000 baud, so the wire never idles between two frames, and a frame never
// waits behind a backlog of older ones.
inline constexpr double kMotionBacklogLimitBytes = 12.0;

// A driver's own count of unsent bytes holds motion frames back while it keeps falling, and for this
// long after it last fell (or the hold began); a count that stands still longer no longer counts, only
// the line-rate model does, so a driver that never reports an empty queue cannot stop the rig. After
// a controller that paused reads again, what waited in the port drains before new frames join it,
// instead of standing in front of every frame that follows.
inline constexpr std::chrono::milliseconds kDriverBacklogTrust{4};

// Writes the serial send queue to the controller's port, each message with the CRC-16/ARC of its
// bytes in place of its closing 0x0A 0x0D. Host messages all go, in order. A motion frame goes when
// the wire can take it; while the wire is busy an older motion frame gives way to a newer one, and
// the newest waits (with what queued after it) for the wire. A copy of the frame the wire carried last
// (each tick queues its frame twice) goes only if the wire will have carried it before the next tick's
// frame comes: at 250000 baud two frames take 2.9 ms, more than a tick, and a copy that says nothing
// new would make every new frame wait for it. A write that fails closes the port and ends the drain;
// the commands still queued wait for the next connection.
class SendDrain {
  public:
    explicit SendDrain(std::uint32_t baud) : meter_(baud) {}

    enum class Result { Empty, MotionWaiting, PortLost };
    Result drain(LinkState& state, ControllerLine& line);
    // When a waiting motion frame may go.
    WireMeter::Clock::time_point wireReadyAt() const { return meter_.drainedTo(kMotionBacklogLimitBytes); }

    // The front automatic message, once per pass, without CRC, with the repeat rule.
    void sendAutomatic(LinkState& state, ControllerLine& line);

    // A new connection: the controller has received no frame of this one yet.
    void newConnection() { lastMotionSize_ = 0; }

  private:
    // Whether the driver's count of unsent bytes, just read, still holds motion frames back.
    bool driverBacklogTrusted(double driverBytes, WireMeter::Clock::time_point now);
    // Whether the front motion frame is a copy of the last one written that would still hold the wire
    // when the next tick's frame comes; `backlog`: the bytes on their way now.
    bool copyWouldDelayNextFrame(double backlog, WireMeter::Clock::time_point now) const;

    WireMeter meter_;
    Message scratch_;
    std::optional<WireMeter::Clock::time_point> heldSince_;  // motion frames wait since then
    WireMeter::Clock::time_point driverFellAt_{};            // or the hold began
    double lastDriverBytes_ = 0.0;
    std::array<std::uint8_t, kMaxMessageBytes> lastMotion_{};  // as queued, before its CRC
    std::size_t lastMotionSize_ = 0;                           // 0: none written on this connection
};

}  // namespace tarvelmond
