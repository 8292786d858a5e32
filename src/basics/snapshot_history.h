#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tarvelmond {

// A bounded history of fixed-width records for the host's graphs: the game-source thread appends one
// record per worked tick, host threads take everything recorded since the last take. The newest 150
// records are kept.
//
// The ticking thread never waits for a host: a host thread preempted in the middle of a take must not
// hold up the 500 Hz loop. So the records live in a ring of atomics the one appending thread overwrites
// at will, and a take copies what it wants and then checks, by the count of records written, which of
// its copies the appender may have overwritten meanwhile; those (the oldest) are dropped, as the ring
// would have dropped them a moment later.
template <std::size_t Width>
class SnapshotHistory {
  public:
    static constexpr std::size_t kCapacity = 150;
    using Record = std::array<double, Width>;

    // From one thread at a time (the ticking one); allocates nothing, never waits.
    void append(const Record& record) {
        const std::uint64_t sequence = written_.load(std::memory_order_relaxed);
        started_.store(sequence + 1, std::memory_order_relaxed);
        // A take that copies any of the values below also sees `started_` at `sequence + 1` or later,
        // and so knows that the record this slot held is being overwritten.
        std::atomic_thread_fence(std::memory_order_release);
        auto& slot = slots_[sequence % kCapacity];
        for (std::size_t i = 0; i < Width; ++i)
            slot[i].store(record[i], std::memory_order_relaxed);
        written_.store(sequence + 1, std::memory_order_release);
    }

    // Every record since the last take, oldest first, in a block of count x Width doubles from
    // `new[]` (null with count 0).
    double* take(int* count) {
        const auto copies = std::make_unique<Record[]>(kCapacity);
        std::size_t first = 0;
        std::size_t n = 0;
        {
            std::lock_guard lock(takers_);  // host threads among themselves only
            const std::uint64_t end = written_.load(std::memory_order_acquire);
            const std::uint64_t begin = std::max(takenUpTo_, oldestKept(end));
            for (std::uint64_t sequence = begin; sequence < end; ++sequence) {
                const auto& slot = slots_[sequence % kCapacity];
                Record& copy = copies[sequence - begin];
                for (std::size_t i = 0; i < Width; ++i)
                    copy[i] = slot[i].load(std::memory_order_relaxed);
            }
            std::atomic_thread_fence(std::memory_order_acquire);
            // Records whose slots an append has started on since are lost, or may be half overwritten.
            const std::uint64_t intactFrom = oldestKept(started_.load(std::memory_order_relaxed));
            first = static_cast<std::size_t>(std::clamp(intactFrom, begin, end) - begin);
            n = static_cast<std::size_t>(end - begin) - first;
            takenUpTo_ = end;
        }
        if (count != nullptr) *count = static_cast<int>(n);
        if (n == 0) return nullptr;
        auto* block = new double[n * Width];
        for (std::size_t i = 0; i < n; ++i) {
            std::copy(copies[first + i].begin(), copies[first + i].end(), block + i * Width);
        }
        return block;
    }

    // Records a take would hand out now.
    std::size_t size() {
        std::lock_guard lock(takers_);
        const std::uint64_t end = written_.load(std::memory_order_acquire);
        return static_cast<std::size_t>(end - std::max(takenUpTo_, oldestKept(end)));
    }

  private:
    static std::uint64_t oldestKept(std::uint64_t written) {
        return written > kCapacity ? written - kCapacity : 0;
    }

    std::array<std::array<std::atomic<double>, Width>, kCapacity> slots_{};
    std::atomic<std::uint64_t> started_{0};  // appends ever begun
    std::atomic<std::uint64_t> written_{0};  // appends ever finished
    std::mutex takers_;
    std::uint64_t takenUpTo_ = 0;  // under takers_
};

// Releases a block returned by SnapshotHistory::take; null is allowed.
inline void freeSnapshotBlock(void* block) {
    delete[] static_cast<double*>(block);
}

}  // namespace tarvelmond
