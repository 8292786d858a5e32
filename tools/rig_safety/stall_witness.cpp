#include "stall_witness.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "machine_counters.h"
#include "platform/scheduling.h"

namespace tarvelmond::rig_safety {
namespace {

using Clock = test::MonitorClock;
constexpr auto kNap = std::chrono::milliseconds(1);
// Later than this past the nap's end is a stall: shorter ones are a timer's grain.
constexpr auto kLate = std::chrono::milliseconds(2);
// How often the kernel's counts are read: a fraction of the shortest gap the monitor judges.
constexpr auto kSpan = std::chrono::milliseconds(4);

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// How far a counter moved, if it could be read both times.
double grown(const std::optional<double>& before, const std::optional<double>& now) {
    return before && now ? std::max(0.0, *now - *before) : 0.0;
}

}  // namespace

StallWitness::StallWitness(test::SafetyMonitor& monitor) : monitor_(monitor) {
    thread_ = std::thread([this] { watch(); });
}

StallWitness::~StallWitness() {
    stop_.store(true);
    thread_.join();
}

void StallWitness::watch() {
    platform::raiseToRealtimePriority();  // as the library's own threads
    MachineCounters counters;
    auto spanStart = Clock::now();
    std::optional<double> coreWait = counters.coreWaitMs();
    std::optional<double> steal = counters.stealMs();
    double lateMs = 0.0;  // of this span
    while (!stop_.load()) {
        const auto due = Clock::now() + kNap;
        std::this_thread::sleep_for(kNap);
        const auto woke = Clock::now();
        if (woke - due > kLate) lateMs += msBetween(due, woke);
        if (woke - spanStart < kSpan) continue;

        const std::optional<double> coreWaitNow = counters.coreWaitMs();
        const std::optional<double> stealNow = counters.stealMs();
        const double stood = std::max({lateMs, grown(coreWait, coreWaitNow), grown(steal, stealNow)});
        monitor_.machineStood(spanStart, woke, stood);
        spanStart = woke;
        coreWait = coreWaitNow;
        steal = stealNow;
        lateMs = 0.0;
    }
}

}  // namespace tarvelmond::rig_safety
