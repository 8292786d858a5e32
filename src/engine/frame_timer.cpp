#include "engine/frame_timer.h"

#include <algorithm>

#include "platform/clock.h"
#include "platform/scheduling.h"

namespace tarvelmond {
namespace {
constexpr double kPeriodUs = 2000.0;
constexpr std::int64_t kLongestSleepMs = 86'400'000;
}  // namespace

FrameTimer::FrameTimer() {
    const double frequency = static_cast<double>(platform::performanceFrequency());
    ticksPerMs = frequency / 1000.0;
    ticksPerUs = frequency / 1'000'000.0;
}

void FrameTimer::tick() {
    now = platform::performanceCounter();
    const double delta = static_cast<double>(now - last);
    deltaTicks.store(delta, std::memory_order_relaxed);
    meanTicks = meanTicks + (delta - meanTicks) / window;
    last = platform::performanceCounter();
}

void FrameTimer::tickAt(std::int64_t counter) {
    now = counter;
    const double delta = static_cast<double>(now - last);
    deltaTicks.store(delta, std::memory_order_relaxed);
    meanTicks = meanTicks + (delta - meanTicks) / window;
    last = counter;
}

double FrameTimer::elapsedUs(std::int64_t counter) const {
    return static_cast<double>(counter - last) / ticksPerUs;
}

void FrameTimer::waitNextTick() {
    now = platform::performanceCounter();
    double e = elapsedUs(now);
    if (e > 0.0 && e < 1000.0) sleepFor(std::chrono::milliseconds(1));
    if (e <= kPeriodUs) {
        do {
            now = platform::performanceCounter();
            e = elapsedUs(now);
        } while (e <= kPeriodUs);
    }
    tick();
    lastIntervalUs = e;
}

void FrameTimer::waitNextTickCoarse() {
    const auto e = static_cast<std::int32_t>(elapsedUs(platform::performanceCounter()) + carryUs);
    if (e < 500) {
        sleepFor(std::chrono::milliseconds(2));
    } else if (e >= 501 && e <= 999) {
        sleepFor(std::chrono::milliseconds(1));
    }
    carryUs = elapsedUs(platform::performanceCounter()) - kPeriodUs + carryUs;
    tick();
    lastIntervalUs = e;
}

double FrameTimer::lastIntervalMs() const {
    return deltaTicks.load(std::memory_order_relaxed) / ticksPerMs;
}

void sleepFor(std::chrono::nanoseconds d) {
    using Clock = std::chrono::steady_clock;
    const auto target = Clock::now() + d;
    for (auto now = Clock::now(); now < target; now = Clock::now()) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(target - now).count();
        platform::sleepMilliseconds(
            static_cast<std::uint32_t>(std::min<std::int64_t>(remaining, kLongestSleepMs)));
    }
}

}  // namespace tarvelmond
