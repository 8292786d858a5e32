// Chains are evaluated 500 times a second on the real-time thread and must never reach the allocator,
// neither alone nor within a worked tick. This program counts every operator new of the process, so it
// runs on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "filter/filter_chain.h"
#include "support/allocation_counter.h"
#include "support/engine_fixture.h"
#include "support/realistic_profile.h"

namespace tarvelmond::test {
namespace {

TEST(AllocationFree, EveryOperatorEvaluatesWithoutAllocatingWhateverTheInput) {
    FilterChain chains[] = {parseFilterString("GAIN(EMAHP(EMALP(VALUE;10);200);0.8)"),
                            parseFilterString("LOGISTIC(CROP(GAIN(VALUE;2);-20;20);10;1)"),
                            parseFilterString("ROLLOVER(REMAP(MUL(VALUE;3);0;1;0;2);1)"),
                            parseFilterString("NOISE(SINUS(VALUE;1;-3);1;0;5)"),
                            parseFilterString("BITSCALE(BITSCALESIGNED(ABS(VALUE);2;3);1;4)"),
                            parseFilterString("GAIN(VALUE;2")};
    const long before = allocationsInProcess();
    for (int round = 0; round < 1000; ++round)
        for (auto& chain : chains)
            for (double x : {0.0, 1.5, -7.0, 1e300, double{INFINITY}, double{NAN}})
                evaluateFilterChain(chain, x);
    EXPECT_EQ(allocationsInProcess(), before);
    EXPECT_GT(before, 0);  // the counter does see the parser's allocations
}

TEST(AllocationFree, WorkedTicksWithRealisticChainsAllocateNothing) {
    EngineUnderTest e;
    installRealisticProfile(*e);
    for (int t = 0; t < 10; ++t)
        e.tick();  // first uses of lazily built runtime pieces
    const long before = allocationsInProcess();
    for (int t = 0; t < 2000; ++t) {
        e.setChannel(Channel::lateral_accel_g, 0.001 * t);
        e.setChannel(Channel::roll_speed, -0.002 * t);
        e.setGround(t > 1000);  // a landing: the air/ground transition runs too
        e.tick();
    }
    EXPECT_EQ(allocationsInProcess() - before, 0);
    EXPECT_FALSE(e->cues.inTransition) << "the landing should have completed";
}

}  // namespace
}  // namespace tarvelmond::test
