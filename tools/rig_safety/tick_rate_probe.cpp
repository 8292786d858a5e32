#include "tick_rate_probe.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <utility>

namespace tarvelmond::rig_safety {
namespace {

using Clock = std::chrono::steady_clock;
// 500 ticks a second, and a tenth more for a loop that catches up after a late tick.
constexpr double kMostTicksPerSecond = 550.0;

}  // namespace

TickRateProbe::TickRateProbe(Product& product, test::SafetyMonitor& monitor)
    : product_(product), monitor_(monitor) {
    thread_ = std::thread([this] { watch(); });
}

TickRateProbe::~TickRateProbe() {
    stop_.store(true);
    thread_.join();
}

void TickRateProbe::watch() {
    std::deque<std::pair<Clock::time_point, int>> samples;  // the last second's polls
    int inWindow = 0;
    while (!stop_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int count = 0;
        if (double* block = product_.calculationSnapshots(&count)) product_.freeSnapshots(block);
        const auto now = Clock::now();
        samples.emplace_back(now, count);
        inWindow += count;
        while (now - samples.front().first > std::chrono::seconds(1)) {
            inWindow -= samples.front().second;
            samples.pop_front();
        }
        const double seconds = std::chrono::duration<double>(now - samples.front().first).count();
        if (seconds < 0.9) continue;
        const double rate = (inWindow - samples.front().second) / seconds;
        if (rate > kMostTicksPerSecond) {
            char text[128];
            std::snprintf(text, sizeof text, "the thread ticked %.0f times a second (at most 500 expected)",
                          rate);
            monitor_.report(now, "no stalled tick", text);
        }
    }
}

}  // namespace tarvelmond::rig_safety
