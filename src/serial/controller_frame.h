#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "serial/message_queue.h"

// Frames from the motion controller: a start pair of two equal bytes naming the kind, a fixed length,
// and either 0x0A 0x0D or the CRC-16/ARC of the bytes before it (low byte first) at the end. Frames
// leave the cutter always ending in 0x0A 0x0D.
namespace tarvelmond {

inline constexpr std::size_t kVersionFrameSize = 8;   // 0xF9
inline constexpr std::size_t kStatusFrameSize = 38;   // 0xF8
inline constexpr std::size_t kLargeFrameSize = 465;   // 0xFA
inline constexpr std::size_t kCrcOnlyFrameSize = 78;  // 0xFB

using CommandFrame = std::array<std::uint8_t, kVersionFrameSize>;
inline constexpr CommandFrame kIdentificationRequest = {0xF9, 0xF9, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x0D};

// Bytes received from a controller, consumed from the front by the cutter. Fixed storage: the bridge
// reads at most space() bytes and cuts before reading more, and a frame is never longer than 465.
class ReceiveBuffer {
  public:
    static constexpr std::size_t kCapacity = 4096;

    const std::uint8_t* data() const { return bytes_.data(); }
    std::size_t size() const { return size_; }
    std::size_t space() const { return kCapacity - size_; }
    std::uint8_t* tail() { return bytes_.data() + size_; }
    void grew(std::size_t count) { size_ += count < space() ? count : space(); }  // after writing at tail()
    bool append(const std::uint8_t* bytes, std::size_t count);                    // all or nothing
    void consume(std::size_t count);  // drops bytes from the front
    void clear() { size_ = 0; }

  private:
    std::array<std::uint8_t, kCapacity> bytes_{};
    std::size_t size_ = 0;
};

// Cuts complete frames from the front of bytes[0, count) into `queue` (dropped when it is full) and
// returns how many bytes were consumed; the rest is a frame still waiting for bytes, or fewer than 8
// bytes. `found` becomes true when a frame was recognised. Reads nothing beyond `count`.
std::size_t cutControllerFrames(const std::uint8_t* bytes, std::size_t count, MessageQueue& queue,
                                bool& found);

// The cutter over a receive buffer: 1 if at least one frame was recognised, else 0.
int extractControllerFrames(ReceiveBuffer& buffer, MessageQueue& queue);

// Set once a controller reported firmware 3.28 or later (an 0xF9 command-2 frame); never cleared.
std::atomic<bool>& firmwareCrcCapable();

}  // namespace tarvelmond
