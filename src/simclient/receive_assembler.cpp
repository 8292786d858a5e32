#include "simclient/receive_assembler.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tarvelmond::simclient {

ReceiveAssembler::ReceiveAssembler(std::uint32_t maxReceiveSize)
    : effectiveMaximum_(std::min<std::size_t>(maxReceiveSize, kCapacityCap)), buffer_(kGrowthStep) {}

std::span<std::uint8_t> ReceiveAssembler::freeSpace() {
    if (end_ == buffer_.size()) {
        if (readAt_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + readAt_, end_ - readAt_);
            end_ -= readAt_;
            readAt_ = 0;
        } else if (buffer_.size() < kCapacityCap) {
            try {
                buffer_.resize(buffer_.size() + kGrowthStep);
            } catch (const std::bad_alloc&) {
                outOfMemory_ = true;
            }
        }
    }
    return std::span(buffer_).subspan(end_);
}

void ReceiveAssembler::commit(std::size_t count) {
    end_ += std::min(count, buffer_.size() - end_);
}

ReceiveAssembler::Next ReceiveAssembler::next() {
    if (outOfMemory_) return {Status::OutOfMemory, {}};
    const std::size_t unread = end_ - readAt_;
    if (unread < 4) return {};
    const std::uint8_t* at = buffer_.data() + readAt_;
    const std::size_t size = static_cast<std::size_t>(at[0]) | static_cast<std::size_t>(at[1]) << 8 |
                             static_cast<std::size_t>(at[2]) << 16 | static_cast<std::size_t>(at[3]) << 24;
    if (size > effectiveMaximum_) return {Status::TooLarge, {}};
    if (size < 4) return {Status::TooSmall, {}};
    if (unread < size) return {};
    const std::span<const std::uint8_t> message(at, size);
    readAt_ += size;
    // With everything read the next bytes go to the front again. The message stays where it is
    // until the next call writes there.
    if (readAt_ == end_) readAt_ = end_ = 0;
    return {Status::Message, message};
}

}  // namespace tarvelmond::simclient
