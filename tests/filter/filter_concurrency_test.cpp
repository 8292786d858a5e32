#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "filter/filter_sys.h"

namespace tarvelmond {
namespace {

// The engine's side of the contract: a slot whose holder is swapped by one thread while another copies
// it out for the length of one evaluation.
class ChainSlot {
  public:
    std::shared_ptr<FilterSys> get() {
        std::lock_guard lock(mutex_);
        return chain_;
    }
    std::shared_ptr<FilterSys> exchange(std::shared_ptr<FilterSys> chain) {
        std::lock_guard lock(mutex_);
        chain_.swap(chain);
        return chain;
    }

  private:
    std::mutex mutex_;
    std::shared_ptr<FilterSys> chain_;
};

// Stages that write running state (the EMA state, the noise layer) yet leave the result exactly 2 * |x|.
constexpr const char* kChain = "GAIN(NOISE(EMALP(ABS(VALUE);1);0;10;3);2)";

TEST(FilterConcurrency, ReplacingAndInvalidatingDuringEvaluation) {
    ChainSlot slot;
    slot.exchange(parseFilterString(kChain));
    std::atomic<bool> stop{false};
    std::atomic<long> evaluations{0}, unexpected{0};

    std::thread evaluator([&] {
        while (!stop.load()) {
            const auto chain = slot.get();
            const double out = evaluateFilterChain(*chain, -1.5, 1, 1, 1);
            if (out != 0.0 && out != 3.0) ++unexpected;  // 0 while invalid
            ++evaluations;
        }
    });
    std::thread walker([&] {
        while (!stop.load()) {
            const auto chain = slot.get();
            if (innermostStage(*chain)->kind != VALUE) ++unexpected;
        }
    });

    for (int round = 0; round < 2000; ++round) {
        slot.get()->valid.store(round % 2 == 0);  // most likely the chain being evaluated right now
        auto fresh = parseFilterString(kChain);
        if (round % 3 == 0) fresh->valid.store(false);
        // The old chain's last external reference goes here, possibly mid-evaluation.
        auto old = slot.exchange(std::move(fresh));
        old->valid.store(round % 5 == 0);
        old.reset();
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
