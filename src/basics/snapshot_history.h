#pragma once
#include <array>
#include <cstddef>
#include <memory>
#include <mutex>

namespace tarvelmond {

// A bounded history of fixed-width records for the host's graphs: the game-source thread appends one
// record per worked tick (allocating nothing), a host thread takes everything recorded since its last
// call. The newest 150 records are kept.
template <std::size_t Width>
class SnapshotHistory {
  public:
    static constexpr std::size_t kCapacity = 150;
    using Record = std::array<double, Width>;

    void append(const Record& record) {
        std::lock_guard lock(mutex_);
        if (count_ == kCapacity) {  // drop the oldest
            first_ = (first_ + 1) % kCapacity;
            --count_;
        }
        records_[(first_ + count_) % kCapacity] = record;
        ++count_;
    }

    // Every record, oldest first, in a block of count x Width doubles from `new[]` (null with count 0),
    // and the history emptied. The block is filled after the lock is released.
    double* take(int* count) {
        const auto taken = std::make_unique<Record[]>(kCapacity);
        std::size_t n = 0;
        {
            std::lock_guard lock(mutex_);
            for (; n < count_; ++n)
                taken[n] = records_[(first_ + n) % kCapacity];
            first_ = 0;
            count_ = 0;
        }
        if (count != nullptr) *count = static_cast<int>(n);
        if (n == 0) return nullptr;
        auto* block = new double[n * Width];
        for (std::size_t i = 0; i < n; ++i) {
            std::copy(taken[i].begin(), taken[i].end(), block + i * Width);
        }
        return block;
    }

    std::size_t size() {
        std::lock_guard lock(mutex_);
        return count_;
    }

  private:
    std::mutex mutex_;
    std::array<Record, kCapacity> records_{};
    std::size_t first_ = 0;
    std::size_t count_ = 0;
};

// Releases a block returned by SnapshotHistory::take; null is allowed.
inline void freeSnapshotBlock(void* block) {
    delete[] static_cast<double*>(block);
}

}  // namespace tarvelmond
