// Interval measurement and pacing. Timing assertions are lower bounds only, so a busy machine can
// make a tick longer but never fail these tests.
#include <gtest/gtest.h>

#include <chrono>

#include "engine/frame_timer.h"
#include "platform/clock.h"

namespace tarvelmond::test {
namespace {

TEST(FrameTimer, MeasuresFromCounterZeroAndKeepsARunningMeanOverTwoHundredTicks) {
    FrameTimer timer;
    EXPECT_EQ(timer.lastIntervalMs(), 0.0);
    const auto period = static_cast<std::int64_t>(timer.ticksPerUs * 2000.0);
    timer.tickAt(period);
    EXPECT_DOUBLE_EQ(timer.lastIntervalMs(), 2.0);
    for (int i = 2; i <= 200; ++i)
        timer.tickAt(period * i);
    EXPECT_NEAR(timer.meanTicks / period, 0.634, 0.002) << "1 - (1 - 1/200)^200 of the way";
}

TEST(FrameTimer, PrecisePacingWaitsForTheRestOfTheTwoMillisecondPeriodButNotForALateTick) {
    FrameTimer timer;
    for (int i = 0; i < 20; ++i) {
        timer.tick();
        timer.waitNextTick();
        EXPECT_GT(timer.lastIntervalUs, 2000.0);
        EXPECT_GT(timer.lastIntervalMs(), 2.0);
    }
    timer.tick();
    sleepFor(std::chrono::microseconds(2500));
    timer.waitNextTick();
    EXPECT_GE(timer.lastIntervalUs, 2500.0) << "the interval is the late one, measured as it was";
    sleepFor(std::chrono::nanoseconds(-5));  // returns at once
}

TEST(FrameTimer, CoarsePacingCarriesTheErrorSoTheMeanStaysAtTwoMilliseconds) {
    FrameTimer timer;
    timer.tick();
    const auto start = platform::performanceCounter();
    constexpr int kTicks = 50;
    for (int i = 0; i < kTicks; ++i)
        timer.waitNextTickCoarse();
    const double elapsedUs = static_cast<double>(platform::performanceCounter() - start) / timer.ticksPerUs;
    // Whole-millisecond sleeps cannot make the loop run fast: at most about one period is lost.
    EXPECT_GE(elapsedUs, kTicks * 2000.0 - 2000.0);
}

}  // namespace
}  // namespace tarvelmond::test
