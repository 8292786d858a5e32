#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <utility>

#include "motion/evaluation_gate.h"
#include "motion/motion_profile.h"

namespace tarvelmond {
namespace {

// Stages that write running state (the EMA state, the noise layer) yet leave the result exactly 2 * |x|.
constexpr const char* kChain = "GAIN(NOISE(EMALP(ABS(VALUE);1);0;10;3);2)";

// The engine's contract: the tick evaluates whatever chain the slot holds inside a gate bracket, while
// a host thread installs new chains (valid or not) and frees each previous one once the gate lets it.
// A chain freed too early is a use after free that the sanitizer builds report.
TEST(ChainSlot, AReplacedChainOutlivesEveryEvaluationThatCouldSeeIt) {
    ChainSlot slot;
    slot.exchange(parseFilterString(kChain));
    EvaluationGate gate;
    std::atomic<bool> stop{false};
    std::atomic<long> evaluations{0}, unexpected{0};
    std::thread tick([&] {
        for (; !stop.load(); ++evaluations) {
            gate.enter();
            const double out = evaluateFilterChain(*slot.current(), -1.5);
            gate.leave();
            if (out != 0.0 && out != 3.0) ++unexpected;  // 0 from a chain that is not valid
        }
    });

    for (int round = 0; round < 2000; ++round) {
        auto previous = slot.exchange(parseFilterString(round % 3 == 0 ? "GAIN(VALUE;" : kChain));
        gate.waitForEvaluations();
        EXPECT_EQ(previous.use_count(), 1) << "nothing else holds the chain it gave back";
        previous.reset();
        if (round % 100 == 0) std::this_thread::yield();
    }
    while (evaluations.load() < 1000)
        std::this_thread::yield();
    stop.store(true);
    tick.join();
    EXPECT_EQ(unexpected.load(), 0);
}

}  // namespace
}  // namespace tarvelmond
