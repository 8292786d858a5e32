#include "basics/frame_timer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "platform/clock.h"
#include "platform/scheduling.h"

namespace tarvelmond {
namespace {
constexpr auto kPeriodUs = static_cast<double>(kPacedPeriod.count());
constexpr double kLongestPacedIntervalUs = 2 * kPeriodUs;
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

bool FrameTimer::waitNextTick() {
    now = platform::performanceCounter();
    double e = elapsedUs(now);
    bool slept = false;
    if (legacyPacing) {
        if (e > 0.0 && e < 1000.0) sleepFor(std::chrono::milliseconds(1));
    } else if (e <= kPeriodUs) {
        slept = sleepUntilNearPeriodEnd();
    }
    if (e <= kPeriodUs) {
        do {
            now = platform::performanceCounter();
            e = elapsedUs(now);
        } while (e <= kPeriodUs);
    }
    tick();
    lastIntervalUs = e;
    return slept;
}

bool FrameTimer::sleepUntilNearPeriodEnd() {
    // An absolute deadline: the time the loop's own work took is already counted in it.
    const auto periodTicks = static_cast<std::int64_t>(std::ceil(kPeriodUs * ticksPerUs));
    const auto marginTicks = static_cast<std::int64_t>(wakeUpMargin.us() * ticksPerUs);
    const std::int64_t wakeAt = last + periodTicks - marginTicks;
    if (platform::performanceCounter() >= wakeAt) return false;
    platform::sleepUntilCounter(wakeAt);
    wakeUpMargin.record(elapsedUs(platform::performanceCounter()) - elapsedUs(wakeAt));
    return true;
}

std::chrono::steady_clock::time_point FrameTimer::periodEnd() const {
    const double leftUs = kPeriodUs - elapsedUs(platform::performanceCounter());
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               std::chrono::duration<double, std::micro>(std::max(leftUs, 0.0)));
}

void FrameTimer::closePeriod() {
    const double e = elapsedUs(platform::performanceCounter());
    tick();
    lastIntervalUs = e;
}

bool FrameTimer::legacyPacingRequested() {
    // Read once as a loop starts; the library itself never writes the environment.
    return legacyPacingNamed(std::getenv("TARVELMOND_PACING"));
}

bool FrameTimer::legacyPacingNamed(const char* choice) {
    return choice != nullptr && std::string_view(choice) == "legacy";
}

void FrameTimer::waitNextTickCoarse() {
    const double e = coarseErrorUs(platform::performanceCounter());
    sleepFor(std::chrono::milliseconds(coarseSleepMs(e)));
    closeCoarseTick(platform::performanceCounter(), e);
}

double FrameTimer::coarseErrorUs(std::int64_t counter) const {
    // Kept in a double: after a pause of 36 min or more it is beyond any 32-bit integer.
    return std::trunc(elapsedUs(counter) + carryUs);
}

int FrameTimer::coarseSleepMs(double errorUs) {
    if (errorUs < 500.0) return 2;
    if (errorUs >= 501.0 && errorUs <= 999.0) return 1;
    return 0;
}

void FrameTimer::closeCoarseTick(std::int64_t counter, double errorUs) {
    const double intervalUs = elapsedUs(counter);
    // The carry evens out whole-millisecond sleeps, an error of a period at most. A longer interval is
    // a pause or a stall, whose time is gone: carried, it would make the loop race until it had made
    // up for it. A loop that cannot keep up for long carries no more than one period either.
    carryUs = intervalUs > kLongestPacedIntervalUs
                  ? 0.0
                  : std::clamp(intervalUs - kPeriodUs + carryUs, -kPeriodUs, kPeriodUs);
    tickAt(counter);
    lastIntervalUs = errorUs;
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
