// The reader takes the simulator's messages on the real-time thread, 500 times a second: taking them
// from the client and reading them into the record must not allocate (the client's I/O thread does
// whatever allocating there is).
#include <gtest/gtest.h>

#include "basics/frame_timer.h"
#include "games/flight_sim_client.h"
#include "games/flight_sim_reader.h"
#include "games/telemetry_record.h"
#include "games/udp_datagrams.h"
#include "simclient_test_support.h"
#include "support/allocation_counter.h"

namespace tarvelmond::test {
namespace {

TEST_F(SimClientTest, TakingAndReadingMessagesAllocatesNothing) {
    simulator_peer::FakeSimulator simulator;
    simulator.setValue("PLANE BANK DEGREES", 0.1);
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port()));
    const SimClientOps& ops = simclient::simClientOperations();
    FlightSimSlot slot;
    ASSERT_TRUE(eventually([&] {
        return detectFlightSim(ops, slot, "NoSuchSimulator.exe", "NoSuchSimulator.exe") && slot.handle;
    }));
    ASSERT_EQ(connectFlightSim(ops, slot), 1);

    TelemetryRecord record;
    std::uint32_t onGround = 0;
    FrameTimer timer;
    timer.tick();
    const ReaderContext context{timer, record, onGround};
    int reads = 0;
    const auto readFor = [&](std::chrono::milliseconds length) {
        const auto end = std::chrono::steady_clock::now() + length;
        while (std::chrono::steady_clock::now() < end) {
            reads += readFlightSim(ops, slot, context);
            std::this_thread::sleep_for(std::chrono::microseconds(1500));
        }
    };
    readFor(300ms);  // the open's answer and the first data
    simulator.setValue("PLANE BANK DEGREES", 0.2);
    const std::size_t sentBefore = simulator.dataMessagesSent();
    const long before = allocationsOnThisThread();
    reads = 0;
    readFor(500ms);
    EXPECT_EQ(allocationsOnThisThread() - before, 0);
    EXPECT_GT(reads, 100) << "the reader kept reading";
    EXPECT_GT(simulator.dataMessagesSent() - sentBefore, 10U);
    EXPECT_NEAR(record.get(Channel::roll_position), 0.2 * 180.0 / 3.141592653589793, 1e-9)
        << "the data that came meanwhile was read";
    closeFlightSim(ops, slot);
}

}  // namespace
}  // namespace tarvelmond::test
