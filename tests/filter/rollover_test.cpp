#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "filter/filter_sys.h"

namespace tarvelmond {
namespace {

std::shared_ptr<FilterSys> rolloverChain(float limit) {
    auto chain = appendFilterStage(nullptr, ROLLOVER, limit, 0, 0, 0);
    appendFilterStage(chain, VALUE, 0, 0, 0, 0);
    chain->valid.store(true);
    return chain;
}

double fold(const std::shared_ptr<FilterSys>& chain, double x) {
    return evaluateFilterChain(*chain, x, 1, 1, 1);
}

// The fold as defined: one reflection at the nearer band edge per step.
double reflectStepwise(double x, double limit) {
    while (x > limit || x < -limit)
        x = x > 0 ? limit - (x - limit) : -limit - (limit + x);
    return x;
}

TEST(Rollover, FoldsBackIntoTheBand) {
    const auto chain = parseFilterString("ROLLOVER(VALUE;10)");
    const struct {
        double in, out;
    } cases[] = {{25, -5}, {35, -5}, {-25, 5}, {10, 10}, {-10, -10}, {3, 3}, {-41, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(fold(chain, c.in), c.out) << c.in;
}

TEST(Rollover, MatchesStepwiseReflection) {
    // Up to 1e5 reflections each, on limits with few and with many significant bits.
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> logMagnitude(-1.0, std::log10(2e5));
    for (float limit : {10.0f, 1.0f, 0.1f, 3.7f, 180.0f, 1e-3f, 2.5e4f, 1e-40f}) {
        const auto chain = rolloverChain(limit);
        for (int i = 0; i < 300; ++i) {
            const double x = (i % 2 ? -1 : 1) * limit * std::pow(10.0, logMagnitude(random));
            ASSERT_EQ(fold(chain, x), reflectStepwise(x, limit)) << x << " in " << limit;
        }
    }
}

TEST(Rollover, EndsForEveryInput) {
    const auto one = parseFilterString("ROLLOVER(VALUE;1)");
    // Multiples of 4 fold to 0, and x = 4k + 3 reflects to -1. The big doubles are multiples of 4.
    for (double x : {1e15, -1e15, 1e300, -1e300, std::numeric_limits<double>::max()})
        EXPECT_EQ(fold(one, x), 0.0);
    EXPECT_EQ(fold(one, 1e15 + 1), 1.0);
    EXPECT_EQ(fold(one, 1e15 + 3), -1.0);

    // A negative limit is the band of its absolute value; a band of width zero leaves only 0.
    const auto negative = parseFilterString("ROLLOVER(VALUE;-10)");
    for (double x : {25.0, -25.0, 7.0})
        EXPECT_EQ(fold(negative, x), reflectStepwise(x, 10)) << x;
    // A REMAP around the fold turns its 0 into 5, where a NaN would end as 0 at the chain's end.
    const auto zeroBand = parseFilterString("REMAP(ROLLOVER(VALUE;0);0;1;5;6)");
    for (double x : {5.0, -5.0, 0.0})
        EXPECT_EQ(fold(zeroBand, x), 5.0) << x;

    // Non-finite input folds to 0.
    const auto marked = parseFilterString("REMAP(ROLLOVER(VALUE;10);0;1;5;6)");
    for (double x : {NAN, INFINITY, -INFINITY})
        EXPECT_EQ(fold(marked, x), 5.0) << x;

    // Without a real band the stepwise fold stops at once and so does this one.
    EXPECT_EQ(fold(rolloverChain(NAN), 123.0), 123.0);
    EXPECT_EQ(fold(rolloverChain(INFINITY), -1e300), -1e300);
}

}  // namespace
}  // namespace tarvelmond
