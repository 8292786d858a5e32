#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "platform/queue_wait.h"

namespace tarvelmond {

inline constexpr std::size_t kMaxMessageBytes = 512;
inline constexpr std::size_t kMaxQueueSlots = 151;
// Room beyond a queue's capacity for the start-up commands of a new connection, so that a queue full
// of host messages still takes them.
inline constexpr std::size_t kConnectionRoom = 2;

// What a queued message is to the link. Host messages (the host's own) and connection commands (the
// two start-up commands of a new connection) are delivered in order and never give way; a motion frame
// is worth only as long as it is the newest, and gives way to any of them.
enum class MessageKind : std::uint8_t { Host, Motion, Connection };

struct Message {
    std::uint64_t id = 0;  // unique per queue, in push order
    std::uint16_t size = 0;
    MessageKind kind = MessageKind::Host;
    std::chrono::steady_clock::time_point queuedAt{};
    std::array<std::uint8_t, kMaxMessageBytes> bytes{};
};

// A bounded first-in first-out queue of byte messages in fixed storage: pushing copies at most 512
// bytes into a preallocated slot, so producers on the real-time thread never allocate. Every operation
// holds the queue's mutex only for that copy (and for moving at most one byte per waiting message);
// any number of threads may push, take and clear.
//
// Room rules: a host message or connection command that finds the queue full takes the place of the
// oldest motion frame waiting, and is refused only when there is none; connection commands may in
// addition use kConnectionRoom slots beyond the capacity. Motion frames are refused by a full queue.
class MessageQueue {
  public:
    explicit MessageQueue(std::size_t capacity);
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    // False when there is no room (above) or the message is empty or longer than 512 bytes.
    bool push(const std::uint8_t* bytes, std::size_t count, MessageKind kind = MessageKind::Host);
    // For a link that takes nothing now: the motion frames waiting are dropped and this one queued,
    // so that the link, once it takes messages again, finds the newest frame and no stale one.
    bool pushReplacingMotion(const std::uint8_t* bytes, std::size_t count);
    bool front(Message& out) const;  // copies the oldest message; false when empty
    bool popFront();
    // Removes the oldest message only if it is still message `id`: a consumer that copied a message,
    // wrote it and then removes it must not remove another one when the queue was emptied meanwhile.
    bool popFrontIf(std::uint64_t id);
    void removeAll(MessageKind kind);
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
    static constexpr std::size_t kSlots = kMaxQueueSlots + kConnectionRoom;
    using SlotIndex = std::uint8_t;
    static_assert(kSlots <= 256, "slot indices are bytes");

    // With the mutex held.
    bool makeRoom(MessageKind kind);
    void append(const std::uint8_t* bytes, std::size_t count, MessageKind kind,
                std::chrono::steady_clock::time_point now);
    void removeAt(std::size_t position);
    std::size_t oldestMotion() const;  // count_ when none waits

    mutable platform::QueueMutex mutex_;
    mutable platform::QueueCondition pushed_;
    std::array<Message, kSlots> slots_{};
    // The occupied slots, oldest first, and the free ones: a message leaves from anywhere in the
    // queue by moving slot indices, never the messages themselves.
    std::array<SlotIndex, kSlots> order_{};
    std::array<SlotIndex, kSlots> free_{};
    std::size_t capacity_;
    std::size_t count_ = 0;
    std::size_t freeCount_ = 0;
    std::size_t motion_ = 0;
    std::uint64_t nextId_ = 1;
    std::atomic<std::uint64_t> pushes_{0};
};

// After the front automatic message `id` went out: a lone message stays for the following passes (11
// or 12 sends in all), so a controller that missed it sees it again; one with others behind it leaves.
// `repeatCount` is the sending loop's own count.
void repeatOrRetire(MessageQueue& queue, std::uint64_t id, std::atomic<std::int32_t>& repeatCount);

}  // namespace tarvelmond
