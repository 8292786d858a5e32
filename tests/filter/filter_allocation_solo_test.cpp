// Evaluation runs on the real-time path and must never reach the allocator. This program counts every
// operator new of the process, so it runs on its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "filter/filter_sys.h"

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

namespace tarvelmond {
namespace {

TEST(FilterAllocation, EvaluationNeverAllocates) {
    std::vector<std::shared_ptr<FilterSys>> chains;
    for (const char* text :
         {"GAIN(EMAHP(EMALP(VALUE;10);200);0.8)", "LOGISTIC(CROP(GAIN(VALUE;2);-20;20);10;1)",
          "ROLLOVER(REMAP(MUL(VALUE;3);0;1;0;2);1)", "NOISE(SINUS(VALUE;1;-3);1;0;5)",
          "BITSCALE(BITSCALESIGNED(ABS(VALUE);2;3);1;4)", "GAIN(VALUE;2"}) {
        chains.push_back(parseFilterString(text));
    }
    const double inputs[] = {0.0, 1.5, -7.0, 1e300, INFINITY, NAN};

    const long before = allocationCount.load();
    for (int round = 0; round < 1000; ++round) {
        for (const auto& chain : chains) {
            for (double x : inputs)
                evaluateFilterChain(*chain, x, 1.0, 0.5, 2.0);
        }
    }
    EXPECT_EQ(allocationCount.load(), before);
    EXPECT_GT(before, 0);  // the counter does see the parser's allocations
}

}  // namespace
}  // namespace tarvelmond
