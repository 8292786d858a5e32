#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

namespace tarvelmond {

// Interval timer on the performance counter, with a running mean and the precise 2000 us pacing step.
// Ticked by its owner's thread only; other threads read the last interval through lastIntervalMs().
struct FrameTimer {
    FrameTimer();

    void tick();                        // measure the interval since the previous tick
    void tickAt(std::int64_t counter);  // the same with a given counter value (replays and simulations)
    void waitNextTick();                // precise pacing: sleep, then spin to just over 2000 us
    void waitNextTickCoarse();          // whole-millisecond sleeps, error carried in carryUs
    double lastIntervalMs() const;      // deltaTicks / ticksPerMs

    std::int64_t last = 0;
    std::int64_t now = 0;
    std::int32_t window = 200;
    double carryUs = 0.0;
    double meanTicks = 0.0;
    double lastIntervalUs = 0.0;
    std::atomic<double> deltaTicks{0.0};
    double ticksPerMs;
    double ticksPerUs;
    std::atomic<std::int32_t> preciseMode{1};

  private:
    double elapsedUs(std::int64_t counter) const;
};

// Sleeps until the steady clock has passed now + d, in whole-millisecond steps rounded up.
void sleepFor(std::chrono::nanoseconds d);

}  // namespace tarvelmond
