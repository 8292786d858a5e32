// Measures the whole chain's latency: from a game datagram leaving the game emulator to the frame
// that carries it reaching the controller peer (p50, p99, max), and the frame rate the controller
// sees, once with a controller that reads whatever arrives and once with one that reads at the wire
// rate of a 250000-baud UART. The product is loaded by name; X-Plane is played with the built-in rig
// profile, except that the yaw axis passes the yaw rate through unchanged and the yaw rate counts the
// datagrams, so each frame names the newest datagram it reflects.
// Usage: rig_latency [seconds per controller] [--rate DATAGRAMS_PER_S] [--com N]
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "builtin_profile.h"
#include "game_packets.h"
#include "product_host.h"
#include "profile_file.h"
#include "rig_session.h"
#include "rig_statistics.h"
#include "udp_game_sender.h"

using namespace tarvelmond;
using namespace tarvelmond::rig;
using namespace std::chrono_literals;

namespace {

constexpr int kXplanePort = 4321;
constexpr int kYaw = 3;
constexpr double kCountLimit = 1.0e7;  // well inside the exact integers of a float (2^24)

// Sends numbered X-Plane datagrams at a steady rate and remembers when each left.
class CountingGame {
  public:
    explicit CountingGame(double rate)
        : sender_(kXplanePort), period_(std::chrono::duration<double>(1.0 / rate)) {
        thread_ = std::thread([this] { run(); });
    }
    ~CountingGame() { stop(); }
    void stop() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }
    std::uint32_t sentCount() const {
        std::lock_guard lock(mutex_);
        return static_cast<std::uint32_t>(sentAt_.size());
    }
    Clock::time_point sentAt(std::uint32_t n) const {
        std::lock_guard lock(mutex_);
        return sentAt_[n];
    }

  private:
    void run() {
        auto next = Clock::now();
        for (std::uint32_t n = 0; !stop_.load(); ++n) {
            const float t = 0.01f * static_cast<float>(n);
            const auto datagram = emulator::xplanePacket(
                {{17, {2.0f * std::sin(t), 3.0f * std::cos(0.7f * t), 90.0f}},
                 {135, {0.2f * std::sin(t), 98.0f + std::cos(t), 0.1f, 1.0f, 0.5f, -static_cast<float>(n)}}});
            {
                std::lock_guard lock(mutex_);
                sentAt_.push_back(Clock::now());
            }
            sender_.send(datagram);
            next += std::chrono::duration_cast<Clock::duration>(period_);
            std::this_thread::sleep_until(next);
        }
    }

    emulator::UdpGameSender sender_;
    std::chrono::duration<double> period_;
    mutable std::mutex mutex_;
    std::vector<Clock::time_point> sentAt_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Phase {
    LatencySummary latency;
    double framesPerSecond = 0;
    double newFramesPerSecond = 0;  // frames that carry a datagram not seen in an earlier frame
    double bridgeCpuPercent = 0;    // of one core
};

Phase measure(RigSession& session, const CountingGame& game, std::chrono::seconds length) {
    test::VirtualController& controller = session.controller();
    std::this_thread::sleep_for(300ms);  // the reader settles on the new controller speed
    const std::size_t from = controller.received().size();
    const std::uint32_t first = game.sentCount();
    const auto start = Clock::now();
    const std::int64_t cpuStart = session.bridgeCpuMicroseconds();
    std::this_thread::sleep_for(length);
    const std::int64_t cpuEnd = session.bridgeCpuMicroseconds();
    const auto end = Clock::now();
    const std::uint32_t last = game.sentCount() - 1;
    std::this_thread::sleep_for(200ms);  // the last datagrams' frames arrive
    const auto messages = controller.receivedFrom(from);
    Phase phase;
    std::vector<double> ms;
    std::uint32_t pending = first;
    std::size_t frames = 0;
    std::size_t newFrames = 0;
    Clock::time_point lastArrival = start;
    for (const test::ReceivedMessage& m : messages) {
        if (m.kind != test::ReceivedMessage::Kind::Output || m.arrival > start + length) continue;
        ++frames;
        lastArrival = m.arrival;
        const float count = test::decodeOutputFrame(m.bytes).axes[kYaw];
        if (!(count >= 0.0f)) continue;
        // A frame reflects its own datagram and, through it, every earlier one.
        const auto reflected = static_cast<std::uint32_t>(count);
        if (reflected >= pending) ++newFrames;
        for (; pending <= reflected && pending <= last; ++pending)
            ms.push_back(std::chrono::duration<double, std::milli>(m.arrival - game.sentAt(pending)).count());
    }
    const double seconds = std::chrono::duration<double>(length).count();
    phase.latency = summarise(ms);
    phase.framesPerSecond = static_cast<double>(frames) / seconds;
    phase.newFramesPerSecond = static_cast<double>(newFrames) / seconds;
    phase.bridgeCpuPercent = 100.0 * static_cast<double>(cpuEnd - cpuStart) /
                             std::chrono::duration<double, std::micro>(end - start).count();
    (void)lastArrival;
    return phase;
}

void print(const char* name, const Phase& phase) {
    std::printf("%-24s %9.1f %12.1f %9.2f %9.2f %9.2f %10zu %11.1f\n", name, phase.framesPerSecond,
                phase.newFramesPerSecond, phase.latency.p50, phase.latency.p99, phase.latency.max,
                phase.latency.count, phase.bridgeCpuPercent);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 10;
    double rate = 250.0;
    int com = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rate" && i + 1 < argc) {
            rate = std::atof(argv[++i]);
        } else if (a == "--com" && i + 1 < argc) {
            com = std::atoi(argv[++i]);
        } else if (!a.empty() && a[0] != '-') {
            seconds = std::max(1, std::atoi(a.c_str()));
        } else {
            std::fprintf(stderr, "usage: rig_latency [seconds per controller] [--rate HZ] [--com N]\n");
            return 2;
        }
    }
    if (!(rate > 0.0 && rate <= 2000.0)) {
        std::fprintf(stderr, "rig_latency: the rate must be above 0 and at most 2000 datagrams/s\n");
        return 2;
    }

    ProductHost host;
    if (!host.error().empty()) {
        std::fprintf(stderr, "rig_latency: %s\n", host.error().c_str());
        return 1;
    }
    RigSession session(host, com);
    if (!session.controllerReady() || !session.connect(60s)) {
        std::fprintf(stderr, "rig_latency: no controller connected on COM%d\n", com);
        return 1;
    }
    std::string error;
    const offline::RigProfile profile =
        offline::parseProfileFile(offline::builtInProfileText(), "the built-in rig profile");
    if (!host.install(profile, error) || host.filter(0, kYaw, "VALUE") != 1) {
        std::fprintf(stderr, "rig_latency: %s\n", error.c_str());
        return 1;
    }
    host.inputLimit(kYaw, -kCountLimit, kCountLimit);
    host.rigLimit(kYaw, -kCountLimit, kCountLimit);

    CountingGame game(rate);
    host.startGameSource();
    host.ready(1);
    const auto deadline = Clock::now() + 30s;
    while (host.gameId() != 0 || host.fadePercent() < 100.0) {
        if (Clock::now() > deadline) {
            std::fprintf(stderr, "rig_latency: the game was not connected\n");
            return 1;
        }
        std::this_thread::sleep_for(10ms);
    }

    std::printf("\n%s, X-Plane at %.0f datagrams/s, %d s per controller\n", ProductHost::fileName(), rate,
                seconds);
    std::printf("%-24s %9s %12s %9s %9s %9s %10s %11s\n", "controller", "frames/s", "new frames/s", "p50 ms",
                "p99 ms", "max ms", "datagrams", "bridge CPU%");
    test::VirtualController& controller = session.controller();
    const Phase free = measure(session, game, std::chrono::seconds(seconds));
    controller.setReadRate(25000);
    const Phase wire = measure(session, game, std::chrono::seconds(seconds));
    controller.setReadRate(0);
    print("unthrottled", free);
    print("wire rate (25000 B/s)", wire);
    std::printf(
        "latency: game datagram sent -> first frame at the controller that reflects it; bridge CPU: "
        "the bridge thread's, %% of one core\n");
    game.stop();
    session.stop();
    return 0;
}
