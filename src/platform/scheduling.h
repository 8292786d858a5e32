#pragma once
#include <cstdint>

// Sleeping and real-time scheduling of the pacing threads.
namespace tarvelmond::platform {

// Blocks the calling thread for about `milliseconds` (at least 1 ms granularity as the OS allows).
// On Windows this uses a high-resolution waitable timer, which does not depend on the process-wide
// timer resolution and so keeps 1 ms sleeps short even when Windows throttles hidden processes.
void sleepMilliseconds(std::uint32_t milliseconds);

// Blocks the calling thread until the performance counter (platform/clock.h) reaches `counter`, or
// about then: the wake-up may come late by the system's timer latency, and on Windows a little early.
// Returns at once when the counter has passed it already.
void sleepUntilCounter(std::int64_t counter);

// Asks for a 1 ms system timer resolution and opts the process out of timer-resolution throttling;
// on Linux sets the calling thread's timer slack to its minimum, so its sleeps end when asked.
void requestFineTimerResolution();

// Real-time process priority class and time-critical thread priority for the calling thread;
// best effort (a POSIX process without the privilege keeps its normal policy).
void raiseToRealtimePriority();

// CPU time the calling process has used so far, in microseconds (for measurement tools).
std::int64_t processCpuMicroseconds();

}  // namespace tarvelmond::platform
