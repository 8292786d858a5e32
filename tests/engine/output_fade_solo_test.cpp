// The output fade as a rig sees it, through the product loaded by name with BeamNG played by the game
// emulator: after every discontinuity (a game found late, the rig made ready again, a game that went
// silent and came back, a host's hold, an axis switched on or off) the final pitch cue moves from where it
// was to the live value over 4 s of worked ticks, never faster, whatever the pause before was; a host's hold
// never captures values the fade has not blended. Pauses and hold bursts are random; a failure prints its
// seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "game_packets.h"
#include "games/game_source.h"
#include "support/eventually.h"
#include "support/product_library.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kAir = 0;
constexpr int kPitchCue = 5;     // final pitch: the faded output
constexpr int kLivePitch = 14;   // the AIR pitch-rate belt input, recorded unfaded
constexpr int kUnboundDof = 22;  // a channel with no input: toggling it only holds the output
constexpr std::size_t kHistoryCap = 150;
constexpr double kFadeTicks = 2000.0;  // 4 s of 2 ms ticks

struct Product {
    void (*start)() = exported<void()>("startGamesource_Thread");
    void (*stop)() = exported<void()>("stopGamesource_Thread");
    void (*ready)(int) = exported<void(int)>("setMotionsystemready");
    int (*gameId)() = exported<int()>("getGameID");
    int (*setFilter)(int, int, const char*) = exported<int(int, int, const char*)>("setcheckFilterstring");
    void (*inputLimit)(int, double, double) = exported<void(int, double, double)>("SetInputDofLimitValue");
    void (*activeAxis)(int, int, bool) = exported<void(int, int, bool)>("setActiveAxis");
    double (*fadeStatus)() = exported<double()>("getTransitionStatus");
    void (*cueData)(int, double**, int*) = exported<void(int, double**, int*)>("getMotionCueData");
    double* (*takeRecords)(int*) = exported<double*(int*)>("GetCalculationSnapshots");
    void (*freeRecords)(void*) = exported<void(void*)>("FreeCalculationSnapshots");

    std::array<double, 23> cues(int which) const {
        double* data = nullptr;
        int count = 0;
        cueData(which, &data, &count);
        std::array<double, 23> copy{};
        for (std::size_t i = 0; i < copy.size(); ++i)
            copy[i] = std::atomic_ref<double>(data[i]).load(std::memory_order_relaxed);
        return copy;
    }
};

// One worked tick as the host's history shows it: the faded output and the live value it fades to.
struct Tick {
    double output = 0;
    double live = 0;
    bool afterGap = false;  // records before it may have been lost (a full history was taken)
};

// Takes every position record the product hands out, on a thread of its own, so that no tick is lost.
class TickCollector {
  public:
    explicit TickCollector(const Product& product) : product_(product), thread_([this] { run(); }) {}
    ~TickCollector() {
        done_.store(true);
        thread_.join();
    }
    std::vector<Tick> ticks() const {
        std::lock_guard lock(mutex_);
        return ticks_;
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return ticks_.size();
    }

  private:
    void run() {
        while (!done_.load()) {
            int count = 0;
            double* block = product_.takeRecords(&count);
            {
                std::lock_guard lock(mutex_);
                for (int r = 0; r < count; ++r) {
                    const double* record = block + static_cast<std::ptrdiff_t>(r) * 23;
                    ticks_.push_back({record[kPitchCue], record[kLivePitch],
                                      r == 0 && static_cast<std::size_t>(count) >= kHistoryCap});
                }
            }
            product_.freeRecords(block);
            std::this_thread::sleep_for(5ms);
        }
    }

    const Product& product_;
    mutable std::mutex mutex_;
    std::vector<Tick> ticks_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// BeamNG whose pitch rate is `degreesPerSecond(seconds since start)`; the position keeps moving so
// that the data never counts as frozen.
template <typename PitchRate>
void playBeamNg(emulator::UdpGameSender& game, PitchRate degreesPerSecond) {
    const auto start = Clock::now();
    game.startGenerated([=](std::uint64_t n) {
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        emulator::BeamNgMotion motion;
        motion.position = {0.001f * static_cast<float>(n % 1000), 0.0f, 0.0f};
        motion.velocity = {0.01f * static_cast<float>(n % 100), 0.0f, 0.0f};
        motion.pitchRate = static_cast<float>(degreesPerSecond(t) * std::numbers::pi / 180.0);
        return emulator::beamNgPacket(motion);
    });
}

void playSteadyBeamNg(emulator::UdpGameSender& game, double degreesPerSecond) {
    playBeamNg(game, [=](double) { return degreesPerSecond; });
}

class OutputFade : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(productLibrary().loaded()) << productLibrary().error();
        const unsigned seed = std::random_device{}();
        random.seed(seed);
        RecordProperty("seed", static_cast<int>(seed));
        trace = std::make_unique<testing::ScopedTrace>(__FILE__, __LINE__, "seed " + std::to_string(seed));
        ASSERT_EQ(product.setFilter(kAir, kPitchCue, "VALUE"), 1);
        ASSERT_EQ(product.setFilter(kAir, kLivePitch, "VALUE"), 1);
        product.inputLimit(kPitchCue, -1000.0, 1000.0);
    }
    void TearDown() override {
        game.stop();
        product.ready(0);
        product.stop();
    }

    std::chrono::milliseconds randomPause(int fromMs, int toMs) {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(fromMs, toMs)(random));
    }
    // A live value of 20 to 40 degrees/s, either sign.
    double randomPitchRate() {
        const double size = std::uniform_real_distribution<double>(20.0, 40.0)(random);
        return std::bernoulli_distribution(0.5)(random) ? size : -size;
    }
    // The game's value as the product stores it (the packet carries a float in radians).
    static double asReceived(double degreesPerSecond) {
        const auto radians = static_cast<float>(degreesPerSecond * std::numbers::pi / 180.0);
        return static_cast<double>(radians) * 180.0 / std::numbers::pi;
    }

    Product product;
    emulator::UdpGameSender game{udpGamePort(kBeamNg)};
    std::mt19937 random;
    std::unique_ptr<testing::ScopedTrace> trace;
};

// Waits until the collector holds `ticks` ticks at which the live value was `live`, from `from` on.
bool waitForLiveTicks(const TickCollector& collector, std::size_t from, double live, std::size_t ticks) {
    return eventually(
        [&] {
            const auto all = collector.ticks();
            const auto n =
                std::count_if(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())),
                              all.end(), [&](const Tick& t) { return std::fabs(t.live - live) < 1e-6; });
            return static_cast<std::size_t>(n) >= ticks;
        },
        60s);
}

// From the first tick at or after `from` on, with a steady live value: the output starts where it was
// before the pause and moves to the live value by at most 1/2000 of the way per tick, arriving after
// no fewer than 2000 ticks.
void expectRampFrom(const std::vector<Tick>& ticks, std::size_t from, double live, double previousOutput) {
    ASSERT_LT(from, ticks.size());
    const auto first = ticks.begin() + static_cast<std::ptrdiff_t>(from);
    EXPECT_NEAR(first->output, previousOutput, 1e-9) << "the first tick after the pause is the held output";
    const double distance = std::fabs(live - previousOutput);
    const double largestStep = distance / kFadeTicks * (1.0 + 1e-6) + 1e-9;
    std::ptrdiff_t arrival = -1;
    for (auto t = first + 1; t != ticks.end() && arrival < 0; ++t) {
        ASSERT_FALSE(t->afterGap) << "ticks were lost; the machine was too busy to check the ramp";
        // The game's value is steady, but the first readings after a connection can still move the
        // live value; the output may follow that movement (faded) on top of the fade's own step.
        const double liveMove = std::fabs(t->live - (t - 1)->live);
        ASSERT_LE(std::fabs(t->output - (t - 1)->output), largestStep + liveMove)
            << "tick " << (t - first) << " of the fade: " << (t - 1)->output << " -> " << t->output
            << ", live " << (t - 1)->live << " -> " << t->live;
        if (std::fabs(t->output - live) <= distance * 1e-9) arrival = t - first;
    }
    ASSERT_GE(arrival, 0) << "the output never reached the live value";
    EXPECT_GE(arrival, static_cast<std::ptrdiff_t>(kFadeTicks) - 1) << "the fade took fewer than 2000 ticks";
}

TEST_F(OutputFade, RampsOverFourSecondsOfWorkedTicksAfterAnyPauseLongOrShort) {
    TickCollector collector(product);
    product.start();
    product.ready(1);

    // A game found after a long search: the output starts at rest.
    std::this_thread::sleep_for(randomPause(4200, 6500));
    const double first = randomPitchRate();
    playSteadyBeamNg(game, first);
    ASSERT_TRUE(eventually([&] { return product.gameId() == kBeamNg; }, 20s));
    ASSERT_TRUE(waitForLiveTicks(collector, 0, asReceived(first), 2100));
    expectRampFrom(collector.ticks(), 0, asReceived(first), 0.0);

    // Not ready for a while, long or short, while the game's value changes.
    product.ready(0);
    std::size_t mark = collector.count();
    const double second = -first;
    playSteadyBeamNg(game, second);
    std::this_thread::sleep_for(randomPause(300, 6500));
    product.ready(1);
    ASSERT_TRUE(waitForLiveTicks(collector, mark, asReceived(second), 2100));
    expectRampFrom(collector.ticks(), mark, asReceived(second), asReceived(first));

    // The game goes silent and is dropped by the watchdog, then comes back with another value.
    game.stop();
    ASSERT_TRUE(eventually([&] { return product.gameId() == -1; }, 30s));
    std::this_thread::sleep_for(randomPause(0, 4000));
    mark = collector.count();
    const double third = randomPitchRate();
    playSteadyBeamNg(game, third);
    ASSERT_TRUE(waitForLiveTicks(collector, mark, asReceived(third), 2100));
    expectRampFrom(collector.ticks(), mark, asReceived(third), asReceived(second));
}

TEST_F(OutputFade, AHostHoldNeverCapturesValuesTheFadeHasNotBlended) {
    // A sine of 30 degrees/s: the live value moves all the time, so a hold that captured it before the
    // fade had blended it would make the output jump by up to 60.
    const double periodS = std::uniform_real_distribution<double>(0.5, 1.5)(random);
    playBeamNg(game, [=](double t) { return 30.0 * std::sin(2.0 * std::numbers::pi * t / periodS); });
    product.start();
    product.ready(1);
    ASSERT_TRUE(eventually([&] { return product.gameId() == kBeamNg; }, 20s));
    ASSERT_TRUE(eventually([&] { return product.fadeStatus() >= 100.0; }, 20s));

    TickCollector collector(product);
    std::atomic<bool> done{false};
    std::vector<std::thread> hosts;
    for (int h = 0; h < 2; ++h) {
        hosts.emplace_back([&, seed = random()] {
            std::mt19937 own(seed);
            while (!done.load()) {
                // A burst of holds as fast as the host can call, then a pause in which the fade runs.
                const auto burstEnd = Clock::now() + std::chrono::microseconds(own() % 30000);
                while (Clock::now() < burstEnd) {
                    if (const unsigned pick = own() % 8; pick == 0) {
                        product.setFilter(kAir, kPitchCue, "VALUE");  // a chain replaced holds too
                    } else if (pick == 1) {
                        // The axis the output follows, switched off and on: the fade must ease the
                        // output into each change, which a tick computing with it unheld would jump.
                        product.activeAxis(kAir, kPitchCue, own() % 2 == 0);
                    } else {
                        product.activeAxis(static_cast<int>(own() % 2), kUnboundDof, true);
                    }
                }
                std::this_thread::sleep_for(std::chrono::microseconds(own() % 60000));
            }
        });
    }
    std::this_thread::sleep_for(4s);
    done.store(true);
    for (auto& host : hosts)
        host.join();
    product.activeAxis(kAir, kPitchCue, true);  // as the next test expects the library's axes
    std::this_thread::sleep_for(20ms);

    // Each tick the output moves by the live value's own movement (faded) plus the fade's step of at
    // most 1/2000 of the distance between held and live values. Both lie within the range the values
    // swept (nominally 60 wide; the reader's rates can overshoot the game's sine a little when its
    // packets come unevenly).
    const auto ticks = collector.ticks();
    ASSERT_GT(ticks.size(), 300u) << "the hosts' bursts left the thread hardly any ticks to check";
    std::vector<double> values;
    for (const Tick& tick : ticks)
        values.insert(values.end(), {tick.live, tick.output});
    const auto [lowest, highest] = std::ranges::minmax(values);
    ASSERT_LT(highest - lowest, 80.0) << "the live value stays near the game's sine";
    const double fadeStep = std::max(60.0, highest - lowest) / kFadeTicks + 1e-9;
    // The recorded live value is the belt input, not the blended cue the fade reads, which can differ
    // by a few hundredths on a loaded machine; a hold that captured unblended values jumps by tens of
    // degrees, so a bound of two fade steps still tells them apart.
    const double allowed = 2.0 * fadeStep;
    for (std::size_t t = 1; t < ticks.size(); ++t) {
        if (ticks[t].afterGap) continue;
        const double liveMove = std::fabs(ticks[t].live - ticks[t - 1].live);
        ASSERT_LE(std::fabs(ticks[t].output - ticks[t - 1].output), liveMove + allowed)
            << "tick " << t << ": output " << ticks[t - 1].output << " -> " << ticks[t].output << ", live "
            << ticks[t - 1].live << " -> " << ticks[t].live;
    }
}

TEST_F(OutputFade, HoldsShowAtOnceWhetherTheThreadRunsOrNot) {
    const double live = randomPitchRate();
    playSteadyBeamNg(game, live);
    product.start();
    product.ready(1);
    ASSERT_TRUE(eventually([&] { return product.gameId() == kBeamNg; }, 20s));
    ASSERT_TRUE(eventually([&] { return product.fadeStatus() >= 100.0; }, 20s));
    std::this_thread::sleep_for(100ms);  // the tick that ends the fade still blends; the next ones do not

    // Running but not ready, so no tick carries the hold out yet: the status already says 0.
    product.ready(0);
    EXPECT_EQ(product.fadeStatus(), 0.0);
    product.activeAxis(kAir, kUnboundDof, true);
    product.activeAxis(kAir, kUnboundDof, true);
    EXPECT_EQ(product.fadeStatus(), 0.0) << "two holds in a row keep the fade at 0";

    // Stopped: a hold holds the final cues as they stand, at once.
    product.stop();
    ASSERT_NEAR(product.cues(2)[kPitchCue], asReceived(live), 1e-9);
    product.activeAxis(kAir, kUnboundDof, true);
    EXPECT_EQ(product.fadeStatus(), 0.0);
    EXPECT_EQ(product.cues(3), product.cues(2)) << "the held cues are the final cues";
}

}  // namespace
}  // namespace tarvelmond::test
