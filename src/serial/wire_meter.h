#pragma once
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace tarvelmond {

// How far the wire is behind what the bridge has written, modelled from the line rate: a UART at
// 250000 baud, 8N1, carries 25000 bytes a second whatever the driver buffers. Drivers of USB bridges
// report their own backlog; pseudo-terminals and some drivers report none, so the model is the floor.
class WireMeter {
  public:
    using Clock = std::chrono::steady_clock;

    explicit WireMeter(std::uint32_t baud, unsigned bitsPerByte = 10)
        : byteTime_(std::chrono::nanoseconds(1'000'000'000LL * bitsPerByte / baud)) {}

    void wrote(std::size_t bytes, Clock::time_point now) {
        busyUntil_ = std::max(busyUntil_, now) + byteTime_ * static_cast<long long>(bytes);
    }
    // How many bytes the wire carries in `span` (none in a span that is not positive).
    double bytesCarriedIn(Clock::duration span) const {
        return span <= Clock::duration::zero() ? 0.0
                                               : static_cast<double>(std::chrono::nanoseconds(span).count()) /
                                                     static_cast<double>(byteTime_.count());
    }
    // The bytes still to go down the wire: what it carries until it is free.
    double backlogBytes(Clock::time_point now) const { return bytesCarriedIn(busyUntil_ - now); }
    // When the backlog will have shrunk to `bytes`.
    Clock::time_point drainedTo(double bytes) const {
        return busyUntil_ - std::chrono::nanoseconds(static_cast<long long>(bytes * byteTime_.count()));
    }

  private:
    std::chrono::nanoseconds byteTime_;
    Clock::time_point busyUntil_{};
};

}  // namespace tarvelmond
