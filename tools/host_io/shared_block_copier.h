#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "raw_input.h"

namespace tarvelmond::hostio {

struct WatchedBlock {
    std::string name;      // as the game names it ("Local\acpmf_physics")
    std::size_t size = 0;  // 0: the whole block, however large the game made it
};

// Copies a shared-memory game's blocks at each new frame: it opens them read-only (without keeping a
// closed game's block alive) and, every millisecond (a large block less often, so that copying it
// costs at most about 100 MB a second: iRacing's 1.1 MiB every 12 ms, beside its 60 frames a
// second), shows the observer each block whose bytes have changed since the last copy, as the runs
// that changed, on its own thread. The game is never disturbed: nothing is written, and the library
// reads the same blocks as before.
class SharedBlockCopier {
  public:
    using Clock = std::chrono::steady_clock;
    // `frame.seconds` is left 0: the observer knows its own origin of time.
    using Observer = std::function<void(const RawBlock& frame, Clock::time_point when)>;

    explicit SharedBlockCopier(Observer observe);
    ~SharedBlockCopier();
    SharedBlockCopier(const SharedBlockCopier&) = delete;
    SharedBlockCopier& operator=(const SharedBlockCopier&) = delete;

    // From any thread: the blocks to copy from now on (none: an empty list).
    void watch(std::vector<WatchedBlock> blocks);

  private:
    void run();

    Observer observe_;
    std::mutex watchMutex_;  // held only to hand over a new list
    std::vector<WatchedBlock> pending_;
    bool changed_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tarvelmond::hostio
