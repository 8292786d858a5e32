// Measures the period of the game-source thread's worked ticks (target 2000 us) and the thread's CPU
// use while a game (the emulator playing DiRT Rally 2 at 500 Hz) is connected and the rig is ready,
// with a realistic filter profile. Usage: tick_period [seconds] [precise|coarse|bare]
// TARVELMOND_PACING=legacy measures the old precise pacing (1 ms sleep, then a spin) for comparison.
// `bare` measures the machine instead: a thread at the rig's priority that only sleeps to 2 ms deadlines,
// and how late it wakes; no pacing can hold the period better than that.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "engine/game_source_thread.h"
#include "engine/motion_engine.h"
#include "game_packets.h"
#include "platform/clock.h"
#include "platform/process_info.h"
#include "platform/scheduling.h"
#include "support/realistic_profile.h"
#include "udp_game_sender.h"

using namespace tarvelmond;

namespace {

// Filled on the game-source thread; read by main once `complete` is set.
struct Recorder {
    std::vector<double> periodsUs;
    std::atomic<bool> recording{false};
    std::atomic<bool> complete{false};
    std::size_t count = 0;
    std::int64_t cpuStartUs = 0;
    std::int64_t cpuEndUs = 0;
    std::chrono::steady_clock::time_point wallStart, wallEnd;

    static void paced(void* context, double periodUs) {
        auto* self = static_cast<Recorder*>(context);
        if (!self->recording.load(std::memory_order_acquire) ||
            self->complete.load(std::memory_order_relaxed))
            return;
        if (self->count == 0) {
            self->cpuStartUs = platform::threadCpuMicroseconds();
            self->wallStart = std::chrono::steady_clock::now();
        } else {
            self->periodsUs[self->count - 1] = periodUs;  // the first sample has no measured predecessor
        }
        if (++self->count == self->periodsUs.size() + 1) {
            self->cpuEndUs = platform::threadCpuMicroseconds();
            self->wallEnd = std::chrono::steady_clock::now();
            self->complete.store(true, std::memory_order_release);
        }
    }
};

double percentile(std::vector<double> sorted, double p) {
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size()))) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

int measureBareWakeUps(int seconds) {
    std::vector<double> lateUs(static_cast<std::size_t>(seconds) * 500);
    std::thread sleeper([&] {
        platform::raiseToRealtimePriority();
        const std::int64_t period = platform::performanceFrequency() / 500;
        std::int64_t deadline = platform::performanceCounter();
        for (double& late : lateUs) {
            deadline += period;
            platform::sleepUntilCounter(deadline);
            late = static_cast<double>(platform::performanceCounter() - deadline) * 1e6 /
                   static_cast<double>(platform::performanceFrequency());
        }
    });
    sleeper.join();
    std::sort(lateUs.begin(), lateUs.end());
    const auto over = [&](double us) {
        return std::count_if(lateUs.begin(), lateUs.end(), [&](double late) { return late > us; });
    };
    std::printf("bare: %zu sleeps to 2 ms deadlines at the rig's priority, %d s\n", lateUs.size(), seconds);
    std::printf("wake-up late us: p50 %.0f  p99 %.0f  max %.0f; over 0.5 ms %td, over 1 ms %td\n",
                percentile(lateUs, 0.5), percentile(lateUs, 0.99), lateUs.back(), over(500.0), over(1000.0));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const bool coarse = argc > 2 && std::string(argv[2]) == "coarse";
    if (argc > 2 && std::string(argv[2]) == "bare") return measureBareWakeUps(seconds);

    emulator::UdpGameSender game(20778);
    game.startGenerated([](std::uint64_t n) {
        const float t = 0.002f * static_cast<float>(n);
        return emulator::dirtRallyPacket({.lateralG = 0.5f * std::sin(t),
                                          .longitudinalG = 0.3f * std::cos(0.7f * t),
                                          .pitch = 0.05f * std::sin(0.3f * t),
                                          .roll = 0.04f * std::cos(0.5f * t),
                                          .yaw = t,
                                          .yawRate = 0.2f});
    });

    MotionEngine& e = engine();
    test::installRealisticProfile(e);
    Recorder recorder;
    recorder.periodsUs.resize(static_cast<std::size_t>(seconds) * 500);
    const TickObserver observer{&Recorder::paced, &recorder};
    startGameSourceThread(e, &observer);
    e.motionSystemReady.store(true);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!e.connected.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!e.connected.load()) {
        std::fprintf(stderr, "no game connected (is port 20778 free?)\n");
        stopGameSourceThread(e);
        return 1;
    }
    if (coarse) e.loopTimer.preciseMode.store(0);  // the thread chose precise pacing at its start
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // settle
    recorder.recording.store(true, std::memory_order_release);
    while (!recorder.complete.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stopGameSourceThread(e);

    std::vector<double> sorted = recorder.periodsUs;
    std::sort(sorted.begin(), sorted.end());
    const double mean =
        std::accumulate(sorted.begin(), sorted.end(), 0.0) / static_cast<double>(sorted.size());
    const double wallUs =
        std::chrono::duration<double, std::micro>(recorder.wallEnd - recorder.wallStart).count();
    const double cpu = 100.0 * static_cast<double>(recorder.cpuEndUs - recorder.cpuStartUs) / wallUs;
    const auto within =
        std::count_if(sorted.begin(), sorted.end(), [](double p) { return std::fabs(p - 2000.0) <= 50.0; });
    std::printf("mode %s (%s pacing), %zu ticks connected to %s\n", coarse ? "coarse" : "precise",
                FrameTimer::legacyPacingRequested() ? "legacy" : "deadline", sorted.size(), "DirtRally2");
    std::printf("period us: mean %.1f  p50 %.1f  p99 %.1f  max %.1f  min %.1f\n", mean,
                percentile(sorted, 0.5), percentile(sorted, 0.99), sorted.back(), sorted.front());
    std::printf("within 2000 +- 50 us: %.2f %%\n",
                100.0 * static_cast<double>(within) / static_cast<double>(sorted.size()));
    std::printf("game-source thread CPU: %.1f %% of one core\n", cpu);
    if (!e.loopTimer.legacyPacing && !coarse)  // the thread has ended: its timer is ours to read
        std::printf("learned wake-up margin: %.0f us\n", e.loopTimer.wakeUpMargin.us());
    return 0;
}
