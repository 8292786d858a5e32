#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

// The messages a client has received and its reader has not taken yet. The I/O thread puts them in,
// the reader takes them one at a time; each stays valid until the reader's next take. The slots and
// their buffers are kept and reused, so that once they have grown to the messages' size neither side
// allocates or frees memory; the reader never does. When every slot is waiting (a reader that stopped
// taking) the oldest waiting message gives way, so a connection can never fill the memory.
namespace tarvelmond::simclient {

class ReceivedMessages {
  public:
    static constexpr std::size_t kSlots = 64;

    ReceivedMessages();

    // I/O thread: copies `message` in. May throw std::bad_alloc (the slot's buffer has to grow), in
    // which case nothing changes.
    void put(std::span<const std::uint8_t> message);

    // Reader: gives back the message handed out last, then hands out the oldest waiting one, or an
    // empty span when none waits.
    std::span<const std::uint8_t> take();

    std::size_t waiting() const;

  private:
    static constexpr std::size_t kNone = kSlots;

    // A fixed ring of slot numbers.
    struct SlotRing {
        std::size_t items[kSlots] = {};
        std::size_t first = 0;
        std::size_t count = 0;
        void push(std::size_t slot) { items[(first + count++) % kSlots] = slot; }
        std::size_t pop() {
            const std::size_t slot = items[first];
            first = (first + 1) % kSlots;
            --count;
            return slot;
        }
    };

    // Slot buffers: a slot is touched only by the side that holds its number.
    std::vector<std::vector<std::uint8_t>> buffers_;
    std::vector<std::size_t> sizes_;

    mutable std::mutex mutex_;  // held only for the ring operations, never while copying
    SlotRing free_;
    SlotRing waiting_;
    std::size_t handedOut_ = kNone;
};

}  // namespace tarvelmond::simclient
