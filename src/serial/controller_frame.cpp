#include "serial/controller_frame.h"

#include <cstring>

#include "serial/crc16.h"

namespace tarvelmond {
namespace {

struct FrameKind {
    std::uint8_t start;
    std::size_t length;
    bool terminatorForm;  // 0xFB frames carry a CRC only
};
constexpr FrameKind kKinds[] = {
    {0xF9, kVersionFrameSize, true},
    {0xF8, kStatusFrameSize, true},
    {0xFA, kLargeFrameSize, true},
    {0xFB, kCrcOnlyFrameSize, false},
};

bool endsWithTerminator(const std::uint8_t* frame, std::size_t length) {
    return frame[length - 2] == 0x0A && frame[length - 1] == 0x0D;
}

bool endsWithCrc(const std::uint8_t* frame, std::size_t length) {
    const std::uint16_t stored = static_cast<std::uint16_t>(frame[length - 2] | (frame[length - 1] << 8));
    return crc16Arc(frame, length - 2) == stored;
}

void applyFirmwareRule(const std::uint8_t* frame) {
    std::atomic<bool>& capable = firmwareCrcCapable();
    if (capable.load(std::memory_order_relaxed) || frame[2] != 2) return;
    const int version = static_cast<std::int8_t>(frame[5]) * 100 + static_cast<std::int8_t>(frame[4]);
    if (version >= 328) capable.store(true, std::memory_order_relaxed);
}

}  // namespace

bool ReceiveBuffer::append(const std::uint8_t* bytes, std::size_t count) {
    if (count > space()) return false;
    std::memcpy(tail(), bytes, count);
    size_ += count;
    return true;
}

void ReceiveBuffer::consume(std::size_t count) {
    if (count >= size_) {
        size_ = 0;
        return;
    }
    std::memmove(bytes_.data(), bytes_.data() + count, size_ - count);
    size_ -= count;
}

std::size_t cutControllerFrames(const std::uint8_t* bytes, std::size_t count, MessageQueue& queue,
                                bool& found) {
    std::size_t at = 0;
    std::array<std::uint8_t, kLargeFrameSize> frame{};
    while (count - at >= kVersionFrameSize) {
        const std::uint8_t* front = bytes + at;
        const FrameKind* kind = nullptr;
        for (const FrameKind& candidate : kKinds)
            if (front[0] == candidate.start && front[1] == candidate.start) kind = &candidate;
        if (kind != nullptr) {
            if (count - at < kind->length) return at;  // wait for the rest of the frame
            const bool terminated = kind->terminatorForm && endsWithTerminator(front, kind->length);
            if (terminated || endsWithCrc(front, kind->length)) {
                std::memcpy(frame.data(), front, kind->length);
                frame[kind->length - 2] = 0x0A;
                frame[kind->length - 1] = 0x0D;
                queue.push(frame.data(), kind->length);  // a full queue drops the frame
                found = true;
                if (kind->start == 0xF9) applyFirmwareRule(front);
                at += kind->length;
                continue;
            }
        }
        ++at;  // no frame starts here: resume one byte later, inside a rejected frame if need be
    }
    return at;
}

int extractControllerFrames(ReceiveBuffer& buffer, MessageQueue& queue) {
    bool found = false;
    buffer.consume(cutControllerFrames(buffer.data(), buffer.size(), queue, found));
    return found ? 1 : 0;
}

std::atomic<bool>& firmwareCrcCapable() {
    static std::atomic<bool> capable{false};
    return capable;
}

}  // namespace tarvelmond
