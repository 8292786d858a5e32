#include "platform/scheduling.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <time.h>

#include <cerrno>

namespace tarvelmond::platform {

void sleepMilliseconds(std::uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1'000'000};
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

void sleepUntilCounter(std::int64_t counter) {
    // The counter is CLOCK_MONOTONIC in nanoseconds: an absolute deadline on that clock does not drift
    // by the time the call itself takes, and a signal does not shift it.
    const timespec deadline{static_cast<time_t>(counter / 1'000'000'000),
                            static_cast<long>(counter % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

void requestFineTimerResolution() {
    // Linux timers are high resolution already, but a normal thread's sleeps may end up to 50 us late
    // (its timer slack), which the pacing would have to spin through.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

void raiseToRealtimePriority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) != 0) {
        // Unprivileged: stay in the normal policy; the pacing still holds on an idle core.
    }
}

std::int64_t processCpuMicroseconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (static_cast<std::int64_t>(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1'000'000 +
           usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
}

}  // namespace tarvelmond::platform
