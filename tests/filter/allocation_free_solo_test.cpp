// Chains are evaluated 500 times a second on the real-time thread and must never reach the allocator,
// neither alone nor within a worked tick. This program counts every operator new of the process, so it
// runs on its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>

#include "filter/filter_sys.h"
#include "support/engine_fixture.h"
#include "support/realistic_profile.h"

namespace {
std::atomic<long> allocationCount{0};
}  // namespace

// Kept out of line: once inlined next to a new-expression, malloc and free would draw mismatched-allocation
// warnings.
[[gnu::noinline]] void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
    std::free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace tarvelmond::test {
namespace {

TEST(AllocationFree, EveryOperatorEvaluatesWithoutAllocatingWhateverTheInput) {
    const std::shared_ptr<FilterSys> chains[] = {
        parseFilterString("GAIN(EMAHP(EMALP(VALUE;10);200);0.8)"),
        parseFilterString("LOGISTIC(CROP(GAIN(VALUE;2);-20;20);10;1)"),
        parseFilterString("ROLLOVER(REMAP(MUL(VALUE;3);0;1;0;2);1)"),
        parseFilterString("NOISE(SINUS(VALUE;1;-3);1;0;5)"),
        parseFilterString("BITSCALE(BITSCALESIGNED(ABS(VALUE);2;3);1;4)"),
        parseFilterString("GAIN(VALUE;2")};
    const long before = allocationCount.load();
    for (int round = 0; round < 1000; ++round)
        for (const auto& chain : chains)
            for (double x : {0.0, 1.5, -7.0, 1e300, double{INFINITY}, double{NAN}})
                evaluateFilterChain(*chain, x, 1.0, 0.5, 2.0);
    EXPECT_EQ(allocationCount.load(), before);
    EXPECT_GT(before, 0);  // the counter does see the parser's allocations
}

TEST(AllocationFree, WorkedTicksWithRealisticChainsAllocateNothing) {
    EngineUnderTest e;
    installRealisticProfile(*e);
    for (int t = 0; t < 10; ++t)
        e.tick();  // first uses of lazily built runtime pieces
    const long before = allocationCount.load();
    for (int t = 0; t < 2000; ++t) {
        e.setChannel(Channel::lateral_accel_g, 0.001 * t);
        e.setChannel(Channel::roll_speed, -0.002 * t);
        e.setGround(t > 1000);  // a landing: the air/ground transition runs too
        e.tick();
    }
    EXPECT_EQ(allocationCount.load() - before, 0);
    EXPECT_FALSE(e->inTransition) << "the landing should have completed";
}

}  // namespace
}  // namespace tarvelmond::test
