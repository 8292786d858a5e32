#pragma once
#include <chrono>
#include <cstddef>
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
// the newest waits (with what queued after it) for the wire. A write that fails closes the port and
// ends the drain; the commands still queued wait for the next connection.
class SendDrain {
  public:
    explicit SendDrain(std::uint32_t baud) : meter_(baud) {}

    enum class Result { Empty, MotionWaiting, PortLost };
    Result drain(LinkState& state, ControllerLine& line);
    // When a waiting motion frame may go.
    WireMeter::Clock::time_point wireReadyAt() const { return meter_.drainedTo(kMotionBacklogLimitBytes); }

    // The front automatic message, once per pass, without CRC, with the repeat rule.
    void sendAutomatic(LinkState& state, ControllerLine& line);

  private:
    // Whether the driver's count of unsent bytes, just read, still holds motion frames back.
    bool driverBacklogTrusted(double driverBytes, WireMeter::Clock::time_point now);

    WireMeter meter_;
    Message scratch_;
    std::optional<WireMeter::Clock::time_point> heldSince_;  // motion frames wait since then
    WireMeter::Clock::time_point driverFellAt_{};            // or the hold began
    double lastDriverBytes_ = 0.0;
};

}  // namespace tarvelmond
