#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

#include "basics/wake_up_margin.h"

namespace tarvelmond {

// The period of the paced loops: the game-source thread's tick (one motion frame each) and the passes.
inline constexpr std::chrono::microseconds kPacedPeriod{2000};

// Interval timer on the performance counter, with a running mean and the precise 2000 us pacing step.
// Ticked by its owner's thread only; other threads read the last interval through lastIntervalMs().
struct FrameTimer {
    FrameTimer();

    void tick();                        // measure the interval since the previous tick
    void tickAt(std::int64_t counter);  // the same with a given counter value (replays and simulations)
    // Precise pacing to just over 2000 us after the last tick: a sleep to an absolute deadline that
    // ends the learned wake-up margin early, then a short spin. With `legacyPacing` it sleeps 1 ms
    // early in the period and spins the rest, as the library did before (kept for comparisons).
    // True when the thread slept to the deadline in this period (never with `legacyPacing`).
    bool waitNextTick();
    void waitNextTickCoarse();      // whole-millisecond sleeps, error carried in carryUs
    double lastIntervalMs() const;  // deltaTicks / ticksPerMs
    // The steady-clock time at which the period begun by the last tick ends (for loops that wait
    // for something else until then).
    std::chrono::steady_clock::time_point periodEnd() const;
    // Ticks at the end of a period another wait measured out; lastIntervalUs <- its length.
    void closePeriod();
    // True when the environment asks for the old pacing (TARVELMOND_PACING=legacy); each pacing
    // loop reads it when it starts.
    static bool legacyPacingRequested();
    static bool legacyPacingNamed(const char* choice);  // the variable's value (null: not set)

    // The coarse pacing's arithmetic on given counter values; waitNextTickCoarse reads the counter.
    // e: the time since the last tick plus the carry, in whole microseconds (truncated).
    double coarseErrorUs(std::int64_t counter) const;
    static int coarseSleepMs(double errorUs);  // what to sleep for that e: 2, 1 or 0 ms
    // Ends the tick at `counter`: carries this interval's error and ticks; lastIntervalUs <- e.
    void closeCoarseTick(std::int64_t counter, double errorUs);

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
    bool legacyPacing = false;  // owner's thread only
    WakeUpMargin wakeUpMargin;  // owner's thread only

  private:
    double elapsedUs(std::int64_t counter) const;
    bool sleepUntilNearPeriodEnd();  // false when the deadline had come already
};

// Sleeps until the steady clock has passed now + d, in whole-millisecond steps rounded up.
void sleepFor(std::chrono::nanoseconds d);

}  // namespace tarvelmond
