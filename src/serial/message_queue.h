#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace tarvelmond {

inline constexpr std::size_t kMaxMessageBytes = 512;
inline constexpr std::size_t kMaxQueueSlots = 151;

// Host messages are delivered in order and never dropped; a motion frame may give way to a newer one
// when the wire cannot carry them all.
enum class MessageKind : std::uint8_t { Host, Motion };

struct Message {
    std::uint64_t id = 0;  // unique per queue, in push order
    std::uint16_t size = 0;
    MessageKind kind = MessageKind::Host;
    std::array<std::uint8_t, kMaxMessageBytes> bytes{};
};

// A bounded first-in first-out queue of byte messages in fixed storage: pushing copies at most 512
// bytes into a preallocated slot, so producers on the real-time thread never allocate. Every operation
// holds the queue's mutex only for that copy; any number of threads may push, take and clear.
class MessageQueue {
  public:
    explicit MessageQueue(std::size_t capacity);
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // False when the queue holds `capacity` messages or the message is empty or longer than 512 bytes.
    bool push(const std::uint8_t* bytes, std::size_t count, MessageKind kind = MessageKind::Host);
    bool front(Message& out) const;  // copies the oldest message; false when empty
    bool popFront();
    // Removes the oldest message only if it is still message `id`: a consumer that copied a message,
    // wrote it and then removes it must not remove another one when the queue was emptied meanwhile.
    bool popFrontIf(std::uint64_t id);
    void clear();

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    std::size_t motionCount() const;  // motion frames waiting
    std::size_t capacity() const { return capacity_; }

    // Pushes so far; a consumer notes it, then waits for a later push with waitForPush.
    std::uint64_t pushCount() const { return pushes_.load(std::memory_order_acquire); }
    // Returns when a push after `seen` happened (true) or at `until` (false).
    bool waitForPush(std::uint64_t seen, std::chrono::steady_clock::time_point until) const;

  private:
    Message& slot(std::size_t fromHead) { return slots_[(head_ + fromHead) % kMaxQueueSlots]; }
    void removeFront();  // with the mutex held and at least one message

    mutable std::mutex mutex_;
    mutable std::condition_variable pushed_;
    std::array<Message, kMaxQueueSlots> slots_{};
    std::size_t capacity_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    std::size_t motion_ = 0;
    std::uint64_t nextId_ = 1;
    std::atomic<std::uint64_t> pushes_{0};
};

}  // namespace tarvelmond
