#include "serial/message_queue.h"

#include <algorithm>
#include <cstring>

namespace tarvelmond {

MessageQueue::MessageQueue(std::size_t capacity) : capacity_(std::min(capacity, kMaxQueueSlots)) {
    clear();
}

bool MessageQueue::push(const std::uint8_t* bytes, std::size_t count, MessageKind kind) {
    if (bytes == nullptr || count == 0 || count > kMaxMessageBytes) return false;
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (!makeRoom(kind)) return false;
        append(bytes, count, kind, now);
    }
    pushed_.notify_all();
    return true;
}

bool MessageQueue::pushReplacingMotion(const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr || count == 0 || count > kMaxMessageBytes) return false;
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        for (std::size_t at = oldestMotion(); at < count_; at = oldestMotion())
            removeAt(at);
        if (!makeRoom(MessageKind::Motion)) return false;
        append(bytes, count, MessageKind::Motion, now);
    }
    pushed_.notify_all();
    return true;
}

bool MessageQueue::makeRoom(MessageKind kind) {
    if (count_ < capacity_) return true;
    if (kind == MessageKind::Motion) return false;
    if (const std::size_t motion = oldestMotion(); motion < count_) {
        removeAt(motion);
        return true;
    }
    return kind == MessageKind::Connection && count_ < capacity_ + kConnectionRoom;
}

void MessageQueue::append(const std::uint8_t* bytes, std::size_t count, MessageKind kind,
                          std::chrono::steady_clock::time_point now) {
    const SlotIndex index = free_[--freeCount_];
    Message& message = slots_[index];
    message.id = nextId_++;
    message.size = static_cast<std::uint16_t>(count);
    message.kind = kind;
    message.queuedAt = now;
    std::memcpy(message.bytes.data(), bytes, count);
    order_[count_++] = index;
    if (kind == MessageKind::Motion) ++motion_;
    pushes_.fetch_add(1, std::memory_order_release);
}

void MessageQueue::removeAt(std::size_t position) {
    const SlotIndex index = order_[position];
    if (slots_[index].kind == MessageKind::Motion) --motion_;
    free_[freeCount_++] = index;
    std::copy(order_.begin() + static_cast<std::ptrdiff_t>(position + 1),
              order_.begin() + static_cast<std::ptrdiff_t>(count_),
              order_.begin() + static_cast<std::ptrdiff_t>(position));
    --count_;
}

std::size_t MessageQueue::oldestMotion() const {
    if (motion_ == 0) return count_;
    std::size_t at = 0;
    while (at < count_ && slots_[order_[at]].kind != MessageKind::Motion)
        ++at;
    return at;
}

bool MessageQueue::front(Message& out) const {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return false;
    const Message& message = slots_[order_[0]];
    out.id = message.id;
    out.size = message.size;
    out.kind = message.kind;
    out.queuedAt = message.queuedAt;
    std::memcpy(out.bytes.data(), message.bytes.data(), message.size);
    return true;
}

bool MessageQueue::popFront() {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return false;
    removeAt(0);
    return true;
}

bool MessageQueue::popFrontIf(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    if (count_ == 0 || slots_[order_[0]].id != id) return false;
    removeAt(0);
    return true;
}

void MessageQueue::removeAll(MessageKind kind) {
    std::lock_guard lock(mutex_);
    for (std::size_t at = 0; at < count_;) {
        if (slots_[order_[at]].kind == kind) {
            removeAt(at);
        } else {
            ++at;
        }
    }
}

void MessageQueue::clear() {
    std::lock_guard lock(mutex_);
    count_ = 0;
    motion_ = 0;
    freeCount_ = kSlots;
    for (std::size_t i = 0; i < kSlots; ++i)
        free_[i] = static_cast<SlotIndex>(kSlots - 1 - i);
}

std::size_t MessageQueue::size() const {
    std::lock_guard lock(mutex_);
    return count_;
}

std::size_t MessageQueue::motionCount() const {
    std::lock_guard lock(mutex_);
    return motion_;
}

bool MessageQueue::waitForPush(std::uint64_t seen, std::chrono::steady_clock::time_point until) const {
    std::unique_lock lock(mutex_);
    return pushed_.wait_until(lock, until, [&] { return pushes_.load(std::memory_order_relaxed) != seen; });
}

void repeatOrRetire(MessageQueue& queue, std::uint64_t id, std::atomic<std::int32_t>& repeatCount) {
    if (queue.size() > 1) {
        queue.popFrontIf(id);
        repeatCount.store(0);
    } else if (repeatCount.load() > 10) {
        queue.popFrontIf(id);
        repeatCount.store(1);
    } else {
        repeatCount.fetch_add(1);
    }
}

}  // namespace tarvelmond
