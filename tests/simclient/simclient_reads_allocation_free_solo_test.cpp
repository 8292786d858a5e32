// The reader takes the simulator's messages on the real-time thread, 500 times a second: taking them
// from the client and reading them into the record must not allocate (the client's I/O thread does
// whatever allocating there is).
#include <gtest/gtest.h>

#include "engine/frame_timer.h"
#include "games/flight_sim_client.h"
#include "games/flight_sim_reader.h"
#include "games/telemetry_record.h"
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
    ASSERT_TRUE(eventually([&] { return detectFlightSim(ops, slot, "NoSuchSimulator.exe") || slot.handle; }));
    ASSERT_EQ(connectFlightSim(ops, slot), 1);

    TelemetryRecord record;
    std::uint32_t onGround = 0;
    FrameTimer timer;
    timer.tick();
    int messages = 0;
    const auto readFor = [&](std::chrono::milliseconds length) {
        const auto end = std::chrono::steady_clock::now() + length;
        while (std::chrono::steady_clock::now() < end) {
            const std::uint8_t* message = nullptr;
            std::uint32_t size = 0;
            while (ops.getNextDispatch(slot.handle, &message, &size) == 0) {
                parseFlightSimMessage({message, size}, record, onGround);
                ++messages;
            }
            finishFlightSimRead(timer, record);
            std::this_thread::sleep_for(std::chrono::microseconds(1500));
        }
    };
    readFor(300ms);  // the open's answer and the first data
    const long before = allocationsOnThisThread();
    const int messagesBefore = messages;
    readFor(500ms);
    EXPECT_EQ(allocationsOnThisThread() - before, 0);
    EXPECT_GT(messages - messagesBefore, 10) << "messages were read";
    closeFlightSim(ops, slot);
}

}  // namespace
}  // namespace tarvelmond::test
