// Host threads configure and read the engine while another thread works ticks, as the game-source
// thread will. Run under ThreadSanitizer: any unsynchronised access fails the native-tsan build.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "engine/host_shared.h"
#include "engine/motion_engine.h"
#include "engine/motion_tick.h"
#include "motion/chain_replacement.h"

namespace tarvelmond::test {
namespace {

class ConcurrentHostCalls : public ::testing::Test {
  protected:
    void startTicking(MotionEngine& e) {
        worker_ = std::thread([this, &e] {
            double phase = 0.0;
            while (!stop_.load()) {
                phase += 0.01;
                for (int slot = 1; slot <= 21; ++slot) {
                    e.gameSource.record.set(static_cast<Channel>(slot), std::sin(phase + slot));
                }
                e.loopTimer.tick();
                runMotionTick(e);
                ticks_.fetch_add(1);
            }
        });
    }
    void waitTicks(int n) {
        const int target = ticks_.load() + n;
        while (ticks_.load() < target)
            std::this_thread::yield();
    }
    void TearDown() override {
        stop_.store(true);
        if (worker_.joinable()) worker_.join();
    }

    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::atomic<int> ticks_{0};
};

TEST_F(ConcurrentHostCalls, SettersGettersAndArraysStayConsistent) {
    MotionEngine& e = engine();
    e.gameSource.active[kXplane].store(true);
    for (int dof = 0; dof < 8; ++dof)
        SetInputDofLimitValue(dof, -1.0, 1.0);
    startTicking(e);

    std::vector<std::thread> hosts;
    hosts.emplace_back([] {
        const char* filters[] = {"GAIN(EMALP(VALUE;10);2)", "LOGISTIC(VALUE;3;1)", "VALUE", "GAIN(VALUE;"};
        for (int i = 0; i < 400; ++i)
            setcheckFilterstring(i % 2, i % 23, filters[i % 4]);
    });
    hosts.emplace_back([] {
        for (int i = 0; i < 2000; ++i) {
            setActiveAxis(0, i % 23, (i / 23) % 2 == 0);
            setBelt_Mix(0, 1 + i % 5, 0.1 * (i % 7));
            SetInputDofLimitValue(i % 8, -2.0, 2.0);
            setMotionsystemready(i % 2);
        }
    });
    hosts.emplace_back([&] {
        double* cues = nullptr;
        double* data = nullptr;
        int count = 0;
        for (int i = 0; i < 5000; ++i) {
            getMotionCueData(i % 4, &cues, &count);
            getGameData(&data, &count);
            for (int k = 0; k < 23; ++k)
                ASSERT_TRUE(std::isfinite(observe(cues[k])));
            for (int k = 0; k < 43; ++k)
                ASSERT_TRUE(std::isfinite(observe(data[k])));
            (void)getTransitionStatus();
            (void)getProfilAirTransitionStatus();
            (void)getactiveProfil();
            (void)getMotionDataTimeFrame();
            (void)getGameTimeFrame();
        }
    });
    for (auto& host : hosts)
        host.join();
    waitTicks(10);
}

TEST_F(ConcurrentHostCalls, AReplacedChainIsReleasedBeforeTheCallReturns) {
    auto e = std::make_unique<MotionEngine>();
    e->gameSource.active[kXplane].store(true);
    ASSERT_EQ(replaceFilterChain(*e, 0, 8, "EMALP(GAIN(VALUE;2);5)"), 1);
    startTicking(*e);
    for (int i = 0; i < 300; ++i) {
        std::weak_ptr<FilterSys> previous = e->profiles[0].chain(8).share();
        ASSERT_EQ(replaceFilterChain(*e, 0, 8, i % 2 ? "EMALP(GAIN(VALUE;2);5)" : "NOISE(VALUE;1;50;7)"), 1);
        // The previous chain died on this thread, never under the evaluation of the ticking thread.
        ASSERT_TRUE(previous.expired());
        if (i % 50 == 0) waitTicks(1);
    }
    stop_.store(true);
    worker_.join();
}

}  // namespace
}  // namespace tarvelmond::test
