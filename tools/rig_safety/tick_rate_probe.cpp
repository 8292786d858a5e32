#include "tick_rate_probe.h"

#include <chrono>
#include <cstdio>
#include <deque>

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
    // Each poll is bracketed by the times before and after the call, so a poll whose thread was held up
    // (a loaded machine, a sanitizer) can only make the rate look lower: the records counted were made
    // within the widest span the brackets allow.
    struct Poll {
        Clock::time_point before;
        Clock::time_point after;
        int count;
    };
    std::deque<Poll> polls;  // the last two seconds'
    int inWindow = 0;
    while (!stop_.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Poll poll{Clock::now(), {}, 0};
        if (double* block = product_.calculationSnapshots(&poll.count)) product_.freeSnapshots(block);
        poll.after = Clock::now();
        polls.push_back(poll);
        inWindow += poll.count;
        while (poll.before - polls.front().after > std::chrono::seconds(2)) {
            inWindow -= polls.front().count;
            polls.pop_front();
        }
        const double seconds = std::chrono::duration<double>(poll.after - polls.front().before).count();
        if (seconds < 1.8) continue;
        const double rate = (inWindow - polls.front().count) / seconds;
        if (rate > kMostTicksPerSecond) {
            char text[128];
            std::snprintf(text, sizeof text, "the thread ticked %.0f times a second (at most 500 expected)",
                          rate);
            monitor_.report(poll.after, "no stalled tick", text);
        }
    }
}

}  // namespace tarvelmond::rig_safety
