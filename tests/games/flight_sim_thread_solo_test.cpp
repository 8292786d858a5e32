// The flight simulators through the product, loaded by name as a host loads it: the fake simulator
// serves the client protocol on loopback and a stand-in process carries the simulator's executable
// name. Each slot is found, read in the record's units and signs, dropped when its simulator quits,
// drops the connection or stalls, and found again when it returns; a connect that hangs holds neither
// detection nor the loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "fake_game_process.h"
#include "fake_simulator.h"
#include "game_packets.h"
#include "games/game_source.h"
#include "platform/process_info.h"
#include "server_transport.h"
#include "simclient/simclient_test_support.h"
#include "support/eventually.h"
#include "support/game_source_product.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
using namespace simulator_peer;
using Clock = std::chrono::steady_clock;
using enum Channel;

constexpr double kDeg = 180.0 / std::numbers::pi;
constexpr double kG = 9.80665;

using Product = GameSourceProduct;
using FlightSimThread = GameSourceProductTest;

// An attitude and motion the simulator reports, in its own units (radians, metres per second).
struct Flight {
    double bank, pitch, forward, sideways, yawRate, lateralAccel;
    bool onGround;
};

void fly(FakeSimulator& simulator, const Flight& flight) {
    simulator.setValue("PLANE BANK DEGREES", flight.bank);
    simulator.setValue("PLANE PITCH DEGREES", flight.pitch);
    simulator.setValue("VELOCITY BODY Z", flight.forward);
    simulator.setValue("VELOCITY BODY X", flight.sideways);
    simulator.setValue("ROTATION VELOCITY BODY Y", flight.yawRate);
    simulator.setValue("ACCELERATION BODY X", flight.lateralAccel);
    simulator.setValue("SIM ON GROUND", flight.onGround ? 1.0 : 0.0);
}

// The record's channels for a flight: degrees, the record's signs, gravity added to the acceleration.
void expectRecordOf(const Product& product, const Flight& flight) {
    const double roll = flight.bank * kDeg, pitch = -flight.pitch * kDeg;
    EXPECT_TRUE(product.reads(roll_position, roll)) << product.channel(roll_position);
    EXPECT_TRUE(product.reads(pitch_position, pitch)) << product.channel(pitch_position);
    EXPECT_TRUE(product.reads(longitu_speed, flight.forward));
    EXPECT_TRUE(product.reads(lateral_speed, -flight.sideways));
    EXPECT_TRUE(product.reads(yaw_speed, -flight.yawRate * kDeg));
    EXPECT_TRUE(product.reads(lateral_accel, flight.lateralAccel));
    const double gravityLateral = kG * std::cos(-flight.pitch) * std::sin(flight.bank);
    EXPECT_TRUE(product.reads(lateral_accel_g, flight.lateralAccel + gravityLateral));
    EXPECT_TRUE(product.reads(longitu_gravi, kG * std::sin(-flight.pitch)));
    EXPECT_TRUE(eventually([&] { return product.activeProfile() == (flight.onGround ? 1 : 0); }, 10s))
        << "the ground profile follows SIM ON GROUND";
}

struct SimulatorSlot {
    int slot;
    const char* name;
    const char* process;
    bool quitsPolitely;  // the quit message, or the connection dropped without a word
};

TEST_F(FlightSimThread, EachSimulatorIsReadDroppedWhenItGoesAndFoundAgain) {
    for (const SimulatorSlot& row :
         {SimulatorSlot{kMsfs2020, "MSFS2020", "FlightSimulator.exe", true},
          SimulatorSlot{kMsfs2024, "MSFS2024", "FlightSimulator2024.exe", false}}) {
        SCOPED_TRACE(row.name);
        auto simulator = std::make_unique<FakeSimulator>();
        ASSERT_TRUE(simulator->listening());
        const std::uint16_t port = simulator->ipv4Port();
        const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", port));
        const double offset = row.slot == kMsfs2020 ? 0.0 : 0.05;  // the record keeps the last game's values
        const Flight airborne{0.3 + offset, 0.1, 55.0, 2.0, 0.2, 1.5, false};
        fly(*simulator, airborne);
        FakeGameProcess process(row.process);
        ASSERT_TRUE(process.started());

        product.start();
        product.ready(1);
        ASSERT_TRUE(eventually([&] { return product.gameId() == row.slot; }, 20s)) << product.gameId();
        EXPECT_EQ(product.name(), row.name);
        expectRecordOf(product, airborne);
        const Flight landed{0.0, -0.02 - offset, 12.0, 0.0, 0.0, 0.0, true};
        fly(*simulator, landed);
        expectRecordOf(product, landed);
        EXPECT_TRUE(simulator->problems().empty()) << simulator->problems().front();

        // The simulator goes while its process still runs: the no-data watchdog drops it in its
        // usual time (a thousand ticks), not after the frozen-data watchdog's ten seconds, or never.
        if (row.quitsPolitely) {
            simulator->quit();
        } else {
            simulator->dropConnections();
        }
        const auto gone = Clock::now();
        simulator.reset();
        ASSERT_TRUE(eventually([&] { return product.gameId() == -1; }, 30s));
        const auto dropped = Clock::now() - gone;
        std::printf("%s dropped %.2f s after its simulator went\n", row.name,
                    std::chrono::duration<double>(dropped).count());
        EXPECT_GE(dropped, 1s) << "after the watchdog's thousand ticks, not at once";
        EXPECT_LT(dropped, 7s) << "the no-data watchdog, not the frozen-data one";

        FakeSimulatorOptions samePort;
        samePort.ipv4Port = port;
        simulator = std::make_unique<FakeSimulator>(samePort);
        ASSERT_TRUE(simulator->listening());
        const Flight back{-0.2 - offset, 0.05, 40.0, -1.0, -0.1, -0.5, false};
        fly(*simulator, back);
        EXPECT_TRUE(eventually([&] { return product.gameId() == row.slot; }, 20s)) << "found again";
        expectRecordOf(product, back);
        product.ready(0);
        product.stop();
        EXPECT_EQ(product.gameId(), -1);
        EXPECT_TRUE(eventually([&] { return simulator->connectionsOpen() == 0; }))
            << "a stopped thread keeps no client";
    }
}

// MSFS2024 whose data stops while its connection stays: the frozen-data watchdog lets it go after its
// five thousand ticks, and the next pass finds it again (MSFS2020 alone is kept while it is detected).
TEST_F(FlightSimThread, AStalledSimulatorIsDroppedByTheFrozenDataWatchdogAndFoundAgain) {
    FakeSimulator simulator;
    ASSERT_TRUE(simulator.listening());
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port()));
    const Flight cruise{0.15, 0.02, 60.0, 0.0, 0.05, 0.3, false};
    fly(simulator, cruise);
    FakeGameProcess process("FlightSimulator2024.exe");
    ASSERT_TRUE(process.started());
    product.start();
    product.ready(1);
    ASSERT_TRUE(eventually([&] { return product.gameId() == kMsfs2024; }, 20s)) << product.gameId();
    EXPECT_TRUE(product.reads(roll_position, 0.15 * kDeg));

    simulator.holdData(true);
    const auto stalled = Clock::now();
    ASSERT_TRUE(eventually([&] { return product.gameId() == -1; }, 60s));
    EXPECT_GE(Clock::now() - stalled, 5s) << "five thousand frozen ticks, not the no-data watchdog";
    const Flight turning{-0.25, 0.0, 58.0, 0.0, -0.05, -0.4, false};
    fly(simulator, turning);
    simulator.holdData(false);
    EXPECT_TRUE(eventually([&] { return product.gameId() == kMsfs2024; }, 20s)) << "found again";
    EXPECT_TRUE(product.reads(roll_position, -0.25 * kDeg)) << "and read again";
}

// A simulator address whose connect hangs (a listener with a full backlog drops the requests): the
// game after the simulators in the detection order is still found within a few passes, and the loop
// keeps its period.
TEST_F(FlightSimThread, AConnectThatHangsHoldsNeitherDetectionNorTheLoop) {
    auto listener = listenTcp(false, 0, 0);
    ASSERT_NE(listener, nullptr);
    const HeldConnection filler(listener->port());
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", listener->port()));
    UdpGameSender dirt(udpGamePort(kDirtRally2));
    dirt.startGenerated(
        [](std::uint64_t n) { return dirtRallyPacket({.pitch = 0.001f * static_cast<float>(n % 100)}); });

    const auto started = Clock::now();
    product.start();
    product.ready(1);
    ASSERT_TRUE(eventually([&] { return product.gameId() == kDirtRally2; }, 20s)) << product.gameId();
    const double detectionSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    EXPECT_LT(detectionSeconds, 5.0) << "connects that waited out their 5 s, one per simulator slot, would "
                                        "show here";

    std::this_thread::sleep_for(200ms);  // past the first ticks, which measure from the connection
    std::vector<double> periods;
    const auto end = Clock::now() + 2s;
    while (Clock::now() < end) {
        periods.push_back(product.loopTimeFrame());
        std::this_thread::sleep_for(7ms);
    }
    std::sort(periods.begin(), periods.end());
    const double median = periods[periods.size() / 2];
    std::printf(
        "DiRT Rally 2 found after %.2f s beside a hanging simulator connect; tick period median "
        "%.3f ms, max %.3f ms\n",
        detectionSeconds, median, periods.back());
    EXPECT_GT(median, 1.5);
    // A hang check, not a timing test: a busy machine under Wine stretches ticks to several
    // milliseconds, a loop held by a connect would show hundreds.
    EXPECT_LT(median, 25.0);
}

// With the simulator's address refusing every connection, detection opens and gives up a connection
// on every pass; none of them may leave a socket or a thread behind.
TEST_F(FlightSimThread, DetectionPassesWithoutAServerLeaveNothingOpen) {
    std::uint16_t refusingPort = 0;
    {
        auto closed = listenTcp(false, 0, 0);
        ASSERT_NE(closed, nullptr);
        refusingPort = closed->port();
    }
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", refusingPort));
    const auto run = [&](std::chrono::seconds length) {
        product.start();
        std::this_thread::sleep_for(length);
        EXPECT_EQ(product.gameId(), -1);
        product.stop();
    };
    run(2s);  // what lives as long as the process (log file, the system's caches) exists after this
    const int handles = platform::openResourceCount();
    const int threads = platform::threadCount();
    run(12s);  // about forty passes, two connection attempts each
    EXPECT_LE(platform::openResourceCount() - handles, 2 * kSystemHandlesOpenedLate)
        << "a socket per failed connect would show as eighty";
    EXPECT_TRUE(eventually([&] { return platform::threadCount() <= threads; }))
        << "the client's threads end with the game-source thread";
}

}  // namespace
}  // namespace tarvelmond::test
