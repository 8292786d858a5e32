#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "filter/filter_sys.h"

namespace tarvelmond {
namespace {

// Stages that write running state (the EMA state, the noise layer) yet leave the result exactly 2 * |x|.
constexpr const char* kChain = "GAIN(NOISE(EMALP(ABS(VALUE);1);0;10;3);2)";

// The engine's side of the contract: one thread swaps the chain in a slot while others copy it out for the
// length of one evaluation or walk.
TEST(FilterConcurrency, ReplacingAndInvalidatingDuringEvaluation) {
    std::mutex mutex;
    std::shared_ptr<FilterSys> slot = parseFilterString(kChain);
    const auto current = [&] {
        std::lock_guard lock(mutex);
        return slot;
    };
    std::atomic<bool> stop{false};
    std::atomic<long> evaluations{0}, unexpected{0};
    std::thread evaluator([&] {
        for (; !stop.load(); ++evaluations) {
            const double out = evaluateFilterChain(*current(), -1.5);
            if (out != 0.0 && out != 3.0) ++unexpected;  // 0 while invalid
        }
    });
    std::thread walker([&] {
        while (!stop.load())
            if (innermostStage(*current())->kind != VALUE) ++unexpected;
    });

    for (int round = 0; round < 2000; ++round) {
        current()->valid.store(round % 2 == 0);  // most likely the chain being evaluated right now
        auto old = parseFilterString(kChain);
        if (round % 3 == 0) old->valid.store(false);
        {
            std::lock_guard lock(mutex);
            slot.swap(old);
        }
        old->valid.store(round % 5 == 0);
        old.reset();  // the old chain's last external reference goes here, possibly mid-evaluation
        if (round % 100 == 0) std::this_thread::yield();
    }
    while (evaluations.load() < 1000)
        std::this_thread::yield();
    stop.store(true);
    evaluator.join();
    walker.join();
    EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace tarvelmond
