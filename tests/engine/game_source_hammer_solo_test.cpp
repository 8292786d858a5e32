// The game-source thread at work while host threads call everything the host may call, as often as
// they can. Built with ThreadSanitizer (native-tsan), any unsynchronised access fails the run.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>

#include <ctime>
#endif

#include "basics/host_shared.h"
#include "engine/game_source_thread.h"
#include "engine/motion_engine.h"
#include "game_packets.h"
#include "games/game_source.h"
#include "support/eventually.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

TEST(GameSourceHammer, HostCallsRaceTheRunningThreadWithoutDataRaces) {
    emulator::UdpGameSender game(udpGamePort(kXplane));
    game.startGenerated([](std::uint64_t n) {
        const float phase = 0.01f * static_cast<float>(n);
        return emulator::xplanePacket({{17, {5.0f * std::sin(phase), 3.0f, phase}},
                                       {135, {std::cos(phase), 9.8f, 0.3f, 0.1f, 0.2f, 0.3f}},
                                       {66, {1.0f, 1.0f, static_cast<float>(n % 2)}}});
    });
    for (int dof = 0; dof < 8; ++dof)
        SetInputDofLimitValue(dof, -20.0, 20.0);
    for (int dof = 0; dof < 23; ++dof) {
        ASSERT_EQ(setcheckFilterstring(0, dof, "GAIN(EMALP(VALUE;10);2)"), 1);
        ASSERT_EQ(setcheckFilterstring(1, dof, "EMAHP(VALUE;50)"), 1);
    }
    startGamesource_Thread();
    setMotionsystemready(1);
    for (int i = 0; i < 4000 && getGameID() != kXplane; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(getGameID(), kXplane);

    std::atomic<bool> done{false};
    std::atomic<int> snapshotsTaken{0};
    std::vector<std::thread> hosts;
    hosts.emplace_back([&] {  // setters
        for (int i = 0; !done.load(); ++i) {
            SetInputDofLimitValue(i % 8, -10.0 - i % 3, 10.0);
            SetRigDofLimitValue(i % 23, -1.0, 1.0);
            setBelt_Mix(0, i % 43, 0.1);
            setActiveAxis(i % 2, i % 23, i % 5 != 0);
            setcheckFilterstring(i % 2, i % 23, i % 7 == 0 ? "GAIN(VALUE;" : "CROP(EMALP(VALUE;5);-3;3)");
            setTimerPrecision(i % 3 == 0 ? 0 : 1);
            setMotionsystemready(i % 50 == 0 ? 0 : 1);
            std::this_thread::sleep_for(100us);
        }
    });
    const auto allFinite = [](const double* values, int count) {
        return std::all_of(values, values + count, [](const double& v) { return std::isfinite(observe(v)); });
    };
    hosts.emplace_back([&] {  // getters and arrays read by address
        char name[32];
        while (!done.load()) {
            double* data = nullptr;
            int count = 0;
            getGameData(&data, &count);
            ASSERT_TRUE(allFinite(data, count));
            for (int which = 0; which < 4; ++which) {
                getMotionCueData(which, &data, &count);
                ASSERT_TRUE(allFinite(data, count));
            }
            ASSERT_TRUE(allFinite(GetPositionSnapshot(), 23));
            ::getGameName(name);
            ASSERT_TRUE(std::isfinite(getGameID() + getGameTimeFrame() + getMotionDataTimeFrame() +
                                      getTransitionStatus() + getProfilAirTransitionStatus() +
                                      getProfilGrdTransitionStatus() + getactiveProfil()));
        }
    });
    for (int t = 0; t < 2; ++t) {
        hosts.emplace_back([&] {  // two collectors of the histories
            while (!done.load()) {
                int count = 0;
                double* positions = GetCalculationSnapshots(&count);
                ASSERT_TRUE(allFinite(positions, count * 23));
                FreeCalculationSnapshots(positions);
                double* accelerations = GetAccelerationSnapshots(&count);
                snapshotsTaken.fetch_add(count);
                FreeAccelerationSnapshots(accelerations);
                std::this_thread::sleep_for(1ms);
            }
        });
    }
    std::this_thread::sleep_for(3s);
    done.store(true);
    for (auto& host : hosts)
        host.join();
    EXPECT_GT(snapshotsTaken.load(), 0);

    // A replaced chain dies on the replacing host thread, never under the running thread's evaluation.
    setMotionsystemready(1);
    for (int i = 0; i < 300; ++i) {
        std::weak_ptr<FilterChain> previous = engine().cues.profiles[0].chain(8).share();
        ASSERT_EQ(setcheckFilterstring(0, 8, i % 2 ? "EMALP(GAIN(VALUE;2);5)" : "NOISE(VALUE;1;50;7)"), 1);
        ASSERT_TRUE(previous.expired());
        std::this_thread::sleep_for(200us);
    }

    stopGamesource_Thread();
    EXPECT_EQ(getGameID(), -1);
}

// A stop from the thread's own observer cannot join the thread it runs on: it ends the loop and says
// so, and neither a host's stop nor the next start waits for ever.
TEST(GameSourceThreadStop, OnTheThreadItselfEndsTheLoopAndRefusesTheJoin) {
    emulator::UdpGameSender game(udpGamePort(kXplane));
    game.startGenerated([](std::uint64_t n) {
        return emulator::xplanePacket({{17, {0.01f * static_cast<float>(n % 100), 3.0f, 0.0f}}});
    });
    struct SelfStop {
        static void paced(void* context, double) {
            auto& self = *static_cast<SelfStop*>(context);
            if (!self.armed.load()) return;
            try {
                stopGameSourceThread(engine());
            } catch (const std::system_error& refusal) {
                if (refusal.code() == std::errc::resource_deadlock_would_occur) self.refused.store(true);
            }
        }
        std::atomic<bool> armed{false};
        std::atomic<bool> refused{false};
    } selfStop;
    const TickObserver observer{&SelfStop::paced, &selfStop};
    startGameSourceThread(engine(), &observer);
    setMotionsystemready(1);
    ASSERT_TRUE(eventually([] { return getGameID() == kXplane; }, 20s));
    selfStop.armed.store(true);
    ASSERT_TRUE(eventually([&] { return selfStop.refused.load(); }, 10s));
    EXPECT_TRUE(eventually([] { return getGameID() == -1; }, 10s)) << "the loop ended";
    startGamesource_Thread();  // joins the ended thread and starts a new one
    EXPECT_TRUE(eventually([] { return getGameID() == kXplane; }, 20s));
    stopGamesource_Thread();
    EXPECT_EQ(getGameID(), -1);
}

#if defined(__linux__)
// However late its ticks come, the loop at the rig's priority sleeps at least once every two periods:
// a thread at normal priority on the same core keeps running. Here every tick overruns its period (the
// observer spins 2.2 ms after each), and the whole process shares one core.
TEST(GameSourceThreadRest, ALoopWhoseTicksAllRunLateStillLetsAThreadOnItsCoreRun) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    cpu_set_t before;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);  // the threads started from here inherit it

    emulator::UdpGameSender game(udpGamePort(kXplane));
    game.startGenerated([](std::uint64_t n) {
        return emulator::xplanePacket({{17, {0.01f * static_cast<float>(n % 100), 3.0f, 0.0f}}});
    });
    struct LateTicks {
        static void paced(void* context, double) {
            auto& self = *static_cast<LateTicks*>(context);
            self.realTime.store(sched_getscheduler(0) == SCHED_FIFO);
            const auto until = std::chrono::steady_clock::now() + 2200us;
            while (std::chrono::steady_clock::now() < until) {
            }
            self.ticks.fetch_add(1);
        }
        std::atomic<bool> realTime{false};
        std::atomic<int> ticks{0};
    } late;
    const TickObserver observer{&LateTicks::paced, &late};
    startGameSourceThread(engine(), &observer);
    setMotionsystemready(1);
    ASSERT_TRUE(eventually([&] { return late.ticks.load() > 50; }, 20s));

    std::atomic<bool> stop{false};
    std::atomic<double> share{0.0};
    std::thread normal([&] {
        const auto cpuNow = [] {
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
        };
        const auto cpuStart = cpuNow();
        const auto start = std::chrono::steady_clock::now();
        while (!stop.load()) {
        }
        share.store(std::chrono::duration<double>(cpuNow() - cpuStart).count() /
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    });
    std::this_thread::sleep_for(1500ms);
    stop.store(true);
    normal.join();
    stopGamesource_Thread();
    sched_setaffinity(0, sizeof before, &before);
    if (!late.realTime.load())
        GTEST_SKIP() << "the loop runs at normal priority here: it cannot starve a thread";
    // A loop that never slept would leave it only what the kernel keeps back from real-time threads (5 %);
    // one that sleeps 1 ms every two late periods leaves it about 18 %.
    EXPECT_GT(share.load(), 0.07) << "the thread at normal priority ran " << share.load() * 100
                                  << " % of the time";
}
#endif

}  // namespace
}  // namespace tarvelmond::test
