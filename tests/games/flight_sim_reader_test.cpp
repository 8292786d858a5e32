// The flight simulators' reader: each message the client hands over, as the reader takes it, and the
// registration and the stream end to end through the real client and the fake simulator.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>

#include "basics/frame_timer.h"
#include "fake_simulator.h"
#include "games/flight_sim_client.h"
#include "games/flight_sim_reader.h"
#include "games/telemetry_record.h"
#include "games/udp_datagrams.h"
#include "platform/process_info.h"
#include "server_transport.h"
#include "simclient/client_api.h"
#include "simclient/simclient_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using namespace simulator_peer;
using enum Channel;

constexpr double kDegrees = 180.0 / std::numbers::pi;

// The block of definition 0: seventeen values, the last two 64-bit integers.
Bytes block(const std::array<double, 15>& values, std::uint64_t gearOnGround, std::uint64_t simOnGround) {
    Bytes bytes;
    for (const double value : values)
        putF64(bytes, value);
    putU64(bytes, gearOnGround);
    putU64(bytes, simOnGround);
    return bytes;
}

const std::array<double, 15> kValues = {1.5, -2.5, 3.5,  0.1, 0.2, 0.3,  4.0,   5.0,
                                        6.0, 0.4,  -0.5, 0.6, 1.0, 0.25, -0.125};

TEST(FlightSimMessages, ADataMessageFillsTheRecordInItsUnitsAndSigns) {
    TelemetryRecord record;
    std::uint32_t onGround = 0;
    const Bytes data = dataMessage(0, 0, block(kValues, 0, 1));
    EXPECT_EQ(parseFlightSimMessage(data, record, onGround), FlightSimMessage::Data);
    const std::pair<Channel, double> expected[] = {
        {lateral_accel, 1.5},
        {longitu_accel, 3.5},
        {vertica_accel, -2.5},
        {lateral_speed, -4.0},
        {longitu_speed, 6.0},
        {vertica_speed, -5.0},
        {yaw_speed, 0.5 * kDegrees},
        {roll_speed, -0.6 * kDegrees},
        {pitch_speed, -0.4 * kDegrees},
        {yaw_position, 1.0 * kDegrees},
        {roll_position, 0.25 * kDegrees},
        {pitch_position, 0.125 * kDegrees},
    };
    for (const auto& [channel, value] : expected)
        EXPECT_NEAR(record.get(channel), value, 1e-9) << kGameDataNames[static_cast<int>(channel) - 1];
    EXPECT_EQ(onGround, 1U);

    EXPECT_EQ(parseFlightSimMessage(dataMessage(0, 0, block(kValues, 1, 2)), record, onGround),
              FlightSimMessage::Data);
    EXPECT_EQ(onGround, 0U) << "any value but 1 clears the flag";
    // The flag is an integer: the bits of the double 1.0 are not 1.
    EXPECT_EQ(parseFlightSimMessage(dataMessage(0, 0, block(kValues, 1, std::bit_cast<std::uint64_t>(1.0))),
                                    record, onGround),
              FlightSimMessage::Data);
    EXPECT_EQ(onGround, 0U);

    FrameTimer timer;
    timer.tick();
    finishFlightSimRead(timer, record);
    const double roll = 0.25, pitch = 0.125;  // the record's: the simulator's pitch turned over
    EXPECT_NEAR(record.get(lateral_gravi), 9.80665 * std::cos(pitch) * std::sin(roll), 1e-9);
    EXPECT_NEAR(record.get(lateral_accel_g), 1.5 + record.get(lateral_gravi), 1e-9);
    EXPECT_NEAR(record.get(vertica_accel_g), -2.5 + 9.80665 * std::cos(pitch) * std::cos(roll), 1e-9);
    EXPECT_NEAR(record.get(longitu_accel_g), 3.5 + 9.80665 * std::sin(pitch), 1e-9);
}

TEST(FlightSimMessages, EverythingElseIsReadOnlyAsFarAsItGoes) {
    TelemetryRecord record;
    std::uint32_t onGround = 1;
    const Bytes data = dataMessage(0, 0, block(kValues, 1, 1));
    const TelemetryRecord untouched = record;
    const auto unchanged = [&] { return record.gameData == untouched.gameData && onGround == 1; };

    EXPECT_EQ(parseFlightSimMessage(dataMessage(1, 0, block(kValues, 0, 0)), record, onGround),
              FlightSimMessage::Other)
        << "another request's data";
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(parseFlightSimMessage(std::span(data).first(data.size() - 1), record, onGround),
              FlightSimMessage::Other)
        << "a block cut short";
    EXPECT_TRUE(unchanged());
    EXPECT_EQ(parseFlightSimMessage(eventMessage(6), record, onGround), FlightSimMessage::Other) << "Crashed";
    EXPECT_EQ(parseFlightSimMessage(eventMessage(7), record, onGround), FlightSimMessage::Quit) << "Quit";
    const Bytes quitEvent = eventMessage(7);
    EXPECT_EQ(parseFlightSimMessage(std::span(quitEvent).first(16), record, onGround),
              FlightSimMessage::Other)
        << "an event without its number";
    EXPECT_EQ(parseFlightSimMessage(quitMessage(), record, onGround), FlightSimMessage::Quit);
    EXPECT_EQ(parseFlightSimMessage(exceptionMessage(3, 1, 2), record, onGround),
              FlightSimMessage::Exception);
    EXPECT_EQ(parseFlightSimMessage(openAcknowledgement("x"), record, onGround), FlightSimMessage::Other);
    const Bytes quit = quitMessage();
    EXPECT_EQ(parseFlightSimMessage(std::span(quit).first(11), record, onGround), FlightSimMessage::Other);
    EXPECT_EQ(parseFlightSimMessage({}, record, onGround), FlightSimMessage::Other);
    EXPECT_TRUE(unchanged());
}

TEST(FlightSimReader, RegistersItsDataAndFollowsTheSimulatorToItsEnd) {
    const SimClientOps& ops = simclient::simClientOperations();
    for (const char* ending : {"quit event", "quit message", "dropped connection"}) {
        SCOPED_TRACE(ending);
        FakeSimulator simulator;
        ASSERT_TRUE(simulator.listening());
        const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port()));
        simulator.setValue("PLANE BANK DEGREES", 0.5);
        simulator.setValue("VELOCITY BODY Z", 42.0);
        simulator.setValue("SIM ON GROUND", 1.0);

        FlightSimSlot slot;
        ASSERT_TRUE(eventually([&] {
            detectFlightSim(ops, slot, "NoSuchSimulator.exe", "NoSuchSimulator.exe");
            return slot.handle != nullptr;
        })) << "detection keeps the handle it opened";
        ASSERT_EQ(connectFlightSim(ops, slot), 1);
        ASSERT_TRUE(eventually([&] { return simulator.requests().size() == 1 + 17 + 1 + 5; }));
        EXPECT_TRUE(simulator.problems().empty()) << simulator.problems().front();
        const auto requests = simulator.requests();
        EXPECT_EQ(requests[1].datumName, "ACCELERATION BODY X");
        EXPECT_EQ(requests[17].datumName, "SIM ON GROUND");
        EXPECT_EQ(requests[17].datumType, kInt64Type);
        EXPECT_EQ(requests[23].eventName, "Sim");

        FrameTimer timer;
        timer.tick();
        TelemetryRecord record;
        std::uint32_t onGround = 0;
        const ReaderContext context{timer, record, onGround};
        ASSERT_TRUE(eventually([&] {
            return readFlightSim(ops, slot, context) == 1 &&
                   std::fabs(record.get(longitu_speed) - 42.0) < 1e-9;
        }));
        EXPECT_NEAR(record.get(roll_position), 0.5 * kDegrees, 1e-9);
        EXPECT_EQ(onGround, 1U);
        EXPECT_NEAR(record.get(lateral_gravi), 9.80665 * std::sin(0.5), 1e-9) << "the gravity split ran";

        simulator.sendEvent("Crashed");
        if (std::string(ending) == "quit event") simulator.sendEvent("Quit");
        if (std::string(ending) == "quit message") simulator.quit();
        if (std::string(ending) == "dropped connection") simulator.dropConnections();
        ASSERT_TRUE(eventually([&] { return readFlightSim(ops, slot, context) == 0; }))
            << "the end of the connection is seen";
        EXPECT_EQ(slot.handle, nullptr) << "and its client closed";
        EXPECT_FALSE(slot.registered);
        EXPECT_EQ(readFlightSim(ops, slot, context), 0) << "no data without a client";
        ops.closeAll();
        EXPECT_TRUE(eventually([&] { return simulator.connectionsOpen() == 0; }));
    }
}

// Detection tries the simulator about three times a second while none answers: every failed connect
// is given up whole, whichever address refused it.
TEST(FlightSimDetection, AThousandPassesAgainstARefusingAddressLeaveNoSocket) {
    const SimClientOps& ops = simclient::simClientOperations();
    for (const bool ipv6 : {false, true}) {
        SCOPED_TRACE(ipv6 ? "::1" : "127.0.0.1");
        std::uint16_t refusingPort = 0;
        {
            const auto closed = listenTcp(ipv6, 0, 0);
            ASSERT_NE(closed, nullptr);
            refusingPort = closed->port();
        }
        const ConfigInCurrentDirectory config(
            tcpConfig(ipv6 ? "IPv6" : "IPv4", ipv6 ? "::1" : "127.0.0.1", refusingPort));
        FlightSimSlot older, newer;
        const auto passes = [&](int count) {
            for (int i = 0; i < count; ++i) {
                EXPECT_FALSE(detectFlightSim(ops, older, "FlightSimulator.exe", "FlightSimulator2024.exe"));
                EXPECT_FALSE(detectFlightSim(ops, newer, "FlightSimulator2024.exe", "FlightSimulator.exe"));
                std::this_thread::sleep_for(1ms);
            }
            EXPECT_TRUE(eventually([] { return simclient::connectionsUnderWay() == 0; }));
        };
        passes(20);
        const int handles = platform::openResourceCount();
        passes(1000);
        EXPECT_LE(platform::openResourceCount() - handles, kSystemHandlesOpenedLate);
        EXPECT_EQ(older.handle, nullptr);
        EXPECT_EQ(newer.handle, nullptr);
        ops.closeAll();
    }
}

}  // namespace
}  // namespace tarvelmond::test
