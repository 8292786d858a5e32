#include "serial/message_queue.h"

#include <algorithm>
#include <cstring>

namespace tarvelmond {

MessageQueue::MessageQueue(std::size_t capacity) : capacity_(std::min(capacity, kMaxQueueSlots)) {}

bool MessageQueue::push(const std::uint8_t* bytes, std::size_t count, MessageKind kind) {
    if (bytes == nullptr || count == 0 || count > kMaxMessageBytes) return false;
    {
        std::lock_guard lock(mutex_);
        if (count_ >= capacity_) return false;
        Message& message = slot(count_);
        message.id = nextId_++;
        message.size = static_cast<std::uint16_t>(count);
        message.kind = kind;
        std::memcpy(message.bytes.data(), bytes, count);
        ++count_;
        if (kind == MessageKind::Motion) ++motion_;
        pushes_.fetch_add(1, std::memory_order_release);
    }
    pushed_.notify_all();
    return true;
}

bool MessageQueue::front(Message& out) const {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return false;
    const Message& message = slots_[head_];
    out.id = message.id;
    out.size = message.size;
    out.kind = message.kind;
    std::memcpy(out.bytes.data(), message.bytes.data(), message.size);
    return true;
}

void MessageQueue::removeFront() {
    if (slots_[head_].kind == MessageKind::Motion) --motion_;
    head_ = (head_ + 1) % kMaxQueueSlots;
    --count_;
}

bool MessageQueue::popFront() {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return false;
    removeFront();
    return true;
}

bool MessageQueue::popFrontIf(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    if (count_ == 0 || slots_[head_].id != id) return false;
    removeFront();
    return true;
}

void MessageQueue::clear() {
    std::lock_guard lock(mutex_);
    head_ = 0;
    count_ = 0;
    motion_ = 0;
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

}  // namespace tarvelmond
