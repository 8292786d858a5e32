#include "simclient/received_messages.h"

#include <algorithm>

namespace tarvelmond::simclient {

ReceivedMessages::ReceivedMessages() : buffers_(kSlots), sizes_(kSlots, 0) {
    for (std::size_t slot = 0; slot < kSlots; ++slot)
        free_.push(slot);
}

void ReceivedMessages::put(std::span<const std::uint8_t> message) {
    std::size_t slot = kNone;
    {
        const std::lock_guard lock(mutex_);
        // At most one slot is handed out and one is being filled, so one of the two rings has a slot.
        if (free_.count > 0) {
            slot = free_.pop();
        } else {
            slot = waiting_.pop();
        }
    }
    try {
        std::vector<std::uint8_t>& buffer = buffers_[slot];
        if (buffer.size() < message.size()) buffer.resize(message.size());
        std::copy(message.begin(), message.end(), buffer.begin());
        sizes_[slot] = message.size();
    } catch (...) {
        const std::lock_guard lock(mutex_);
        free_.push(slot);
        throw;
    }
    const std::lock_guard lock(mutex_);
    waiting_.push(slot);
}

std::span<const std::uint8_t> ReceivedMessages::take() {
    const std::lock_guard lock(mutex_);
    if (handedOut_ != kNone) {
        free_.push(handedOut_);
        handedOut_ = kNone;
    }
    if (waiting_.count == 0) return {};
    handedOut_ = waiting_.pop();
    return {buffers_[handedOut_].data(), sizes_[handedOut_]};
}

std::size_t ReceivedMessages::waiting() const {
    const std::lock_guard lock(mutex_);
    return waiting_.count;
}

}  // namespace tarvelmond::simclient
