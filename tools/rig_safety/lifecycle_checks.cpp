#include "lifecycle_checks.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bridge_lender.h"
#include "game_packets.h"
#include "peers/virtual_controller.h"
#include "platform/process_info.h"
#include "udp_game_sender.h"

namespace tarvelmond::rig_safety {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Figures {
    int handles = 0;
    int threads = 0;
    double residentMb = 0.0;
};

Figures measure() {
    return {platform::openResourceCount(), platform::threadCount(),
            static_cast<double>(platform::residentBytes()) / (1024.0 * 1024.0)};
}

// Resident memory may grow by what allocators keep for reuse; more than this over the run is a leak.
constexpr double kResidentSlackMb = 4.0;

class SoakRig {
  public:
    explicit SoakRig(Product& product)
        : product_(product),
          controller_(test::uniqueComNumber(0)),
          wind_(test::uniqueComNumber(4)),
          game_(4321) {
        test::declarePortIdentity(controller_.comNumber());
        // X-Plane, found first of all games, so that a cycle does not wait for the detection pass.
        game_.startGenerated([](std::uint64_t n) {
            return emulator::xplanePacket(
                {{17, {2.0f, 1.0f, static_cast<float>(n % 360)}}, {135, {0.3f, 10.0f}}});
        });
        for (int c = 0; c < 8; ++c) {
            product_.inputLimit(c, -10.0, 10.0);
            product_.filter(0, c, "GAIN(VALUE;0.5)");
        }
        for (int axis = 0; axis < 6; ++axis)
            product_.rigLimit(axis, -5.0, 5.0);
        product_.filter(0, 21, "GAIN(VALUE;1)");
        product_.activeAxis(0, 21, true);
        product_.initWind(utf16(wind_.comName()).c_str(), 115200, utf16("8N1").c_str(), 15);
        product_.noAutoconnect();
        product_.standardPort(controller_.comName().c_str());
        product_.ready(1);
    }

    // Everything started, and the rig moving.
    bool start() {
        const std::size_t before = controller_.received().size();
        bridge_.start();
        const bool connected = product_.resume() == 1;
        product_.startGameSource();
        return connected && controller_.waitFor([&](const auto& all) { return all.size() > before + 4; }, 5s);
    }

    // The host gives up the bridge's thread: it is never joined.
    void abandonBridge() { bridge_.abandon(); }

    // One cycle: the bridge connects the controller, the thread finds the game and the rig moves; then
    // both stop.
    bool cycle() {
        const bool moved = start();
        product_.stopGameSource();
        product_.stopBridge();
        const bool returned = bridge_.waitReturned(5s);
        controller_.clear();
        return moved && returned;
    }

  private:
    Product& product_;
    test::VirtualController controller_;
    test::WindPeer wind_;
    emulator::UdpGameSender game_;
    BridgeLender bridge_{product_};
};

void print(const char* when, const Figures& f) {
    std::printf("  %-7s %5d handles  %3d threads  %7.1f MB resident\n", when, f.handles, f.threads,
                f.residentMb);
}

}  // namespace

bool runStartStopSoak(Product& product, int cycles) {
    SoakRig rig(product);
    int failed = 0;
    for (int i = 0; i < 3; ++i)
        failed += rig.cycle() ? 0 : 1;  // whatever is made once, on first use, is made now
    const Figures before = measure();
    const auto start = Clock::now();
    for (int i = 0; i < cycles; ++i)
        failed += rig.cycle() ? 0 : 1;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::this_thread::sleep_for(200ms);
    const Figures after = measure();
    std::printf(
        "Start/stop soak: %d cycles of the bridge and the game-source thread in %.0f s (%d without motion)\n",
        cycles, seconds, failed);
    print("before", before);
    print("after", after);
    const bool flat = after.handles <= before.handles && after.threads <= before.threads &&
                      after.residentMb - before.residentMb <= kResidentSlackMb;
    std::printf("  %s\n", flat ? "flat" : "NOT FLAT: something the cycles open or start is not released");
    return flat && failed == 0;
}

void leaveRunning(Product& product) {
    static SoakRig rig(product);  // a host's objects, which live until the process ends
    const bool moving = rig.start();
    rig.abandonBridge();
    std::printf("the rig %s; returning from main with the threads running\n",
                moving ? "moves" : "DOES NOT MOVE");
    std::fflush(stdout);
}

}  // namespace tarvelmond::rig_safety
