// Messages: the requests as the server receives them, the receive assembly of the server's stream, the
// received list as the reader takes it, and how a failed connection shows.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/notification.h"
#include "simclient/client_config.h"
#include "simclient/receive_assembler.h"
#include "simclient/received_messages.h"
#include "simclient/request_builder.h"
#include "simclient_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace simclient;
using simulator_peer::Bytes;
using simulator_peer::FakeSimulator;
using simulator_peer::FakeSimulatorOptions;

// A message of `size` bytes by its size field, id 99, filled with a pattern (a size below 4 still
// sends the whole field).
Bytes message(std::uint32_t size, std::uint8_t fill = 0x5A) {
    Bytes bytes(std::max<std::uint32_t>(size, 4), fill);
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    if (size >= 12) std::memcpy(bytes.data() + 8, "\x63\0\0\0", 4);
    return bytes;
}

// A connected client of a fake simulator on 127.0.0.1, its open already answered and taken.
struct Connected {
    explicit Connected(const FakeSimulatorOptions& options = {}, const std::string& extraConfig = "",
                       void* event = nullptr)
        : simulator(options), config(tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port()) + extraConfig) {
        client = openClient(nullptr, 0, std::chrono::seconds(10), event);
        if (client != nullptr && options.answerOpen) {
            std::vector<std::uint8_t> acknowledgement;
            opened = nextMessage(client, acknowledgement) == kSuccess && messageId(acknowledgement) == 2;
        }
        EXPECT_TRUE(eventually([&] { return simulator.connectionsOpen() == 1; }));
    }
    ~Connected() {
        if (client != nullptr) clientClose(client);
    }

    FakeSimulator simulator;
    ConfigInCurrentDirectory config;
    void* client = nullptr;
    bool opened = false;
};

TEST(RequestBuilder, BatchesTheRequestsOfOneFlushEachWithItsHeaderAndSerial) {
    RequestBuilder requests;
    ASSERT_EQ(requests.subscribeToSystemEvent(4, "SimStart"), kSuccess);
    ASSERT_EQ(requests.requestDataOnSimObject(0, 0, 0, 3, 0, 0, 0, 0), kSuccess);
    const std::vector<std::uint8_t> packet = requests.flush();
    ASSERT_EQ(packet.size(), 276U + 48U) << "one packet with both";
    std::vector<std::string> problems;
    simulator_peer::Request first, second;
    ASSERT_EQ(simulator_peer::readRequest(packet, first, problems), 276U);
    ASSERT_EQ(simulator_peer::readRequest(std::span(packet).subspan(276), second, problems), 48U);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(first.serial, 1U);
    EXPECT_EQ(first.eventName, "SimStart");
    EXPECT_EQ(second.serial, 2U);
    EXPECT_EQ(second.dataRequest, (std::vector<std::uint32_t>{0, 0, 0, 3, 0, 0, 0, 0}));
    EXPECT_TRUE(requests.flush().empty()) << "nothing is sent twice";

    const std::string longest(255, 'n');
    EXPECT_EQ(requests.open(longest), kSuccess);
    EXPECT_EQ(requests.open(longest + "n"), kStringTooLong);
    EXPECT_EQ(requests.addToDataDefinition(0, "X", longest + "n", 4, 0.0f, 0xFFFFFFFFu), kStringTooLong);
    EXPECT_EQ(requests.flush().size(), 296U) << "a refused request writes nothing";
    EXPECT_EQ(requests.lastSerial(), 3U) << "and takes no serial number";
}

TEST_F(SimClientTest, TheServerReceivesEveryRequestWellFormedAndInOrder) {
    Connected connection;
    ASSERT_TRUE(connection.opened);
    EXPECT_EQ(
        addToDataDefinition(connection.client, 0, "PLANE BANK DEGREES", "radians", 4, 0.5f, 0xFFFFFFFFu),
        kSuccess);
    EXPECT_EQ(addToDataDefinition(connection.client, 0, "SIM ON GROUND", nullptr, 2, 0.0f, 7), kSuccess);
    EXPECT_EQ(requestDataOnSimObject(connection.client, 9, 0, 0, 3, 0, 0, 0, 0), kSuccess);
    EXPECT_EQ(subscribeToSystemEvent(connection.client, 6, "Crashed"), kSuccess);
    const std::string tooLong(256, 'x');
    EXPECT_EQ(subscribeToSystemEvent(connection.client, 7, tooLong.c_str()), kStringTooLong);
    ASSERT_TRUE(eventually([&] { return connection.simulator.requests().size() == 5; }));

    const auto requests = connection.simulator.requests();
    EXPECT_EQ(requests[0].applicationName, "Tarvelmond");
    EXPECT_EQ(requests[1].datumName, "PLANE BANK DEGREES");
    EXPECT_EQ(requests[1].unitName, "radians");
    EXPECT_EQ(requests[1].epsilon, 0.5f);
    EXPECT_EQ(requests[1].datumId, 0xFFFFFFFFu);
    EXPECT_EQ(requests[2].unitName, "");
    EXPECT_EQ(requests[2].datumType, 2U);
    EXPECT_EQ(requests[4].eventName, "Crashed");
    for (std::size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].serial, i + 1);
    EXPECT_TRUE(connection.simulator.problems().empty()) << connection.simulator.problems().front();
    EXPECT_TRUE(eventually([&] { return connection.simulator.dataMessagesSent() >= 10; }))
        << "data come at about 60 Hz";
}

TEST_F(SimClientTest, MessagesAreHandedOutWholeAndInOrderHoweverTheyArrive) {
    FakeSimulatorOptions silent;
    silent.answerOpen = false;
    Connected connection(silent);
    ASSERT_NE(connection.client, nullptr);
    const std::uint8_t* data = reinterpret_cast<const std::uint8_t*>(1);
    std::uint32_t size = 7;
    EXPECT_EQ(getNextDispatch(connection.client, &data, &size), kNoMessage) << "nothing received yet";
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0U);

    // One message over three writes; two in one write; one as large as the buffer's first step allows
    // many times over.
    const Bytes split = message(3000, 0x11);
    connection.simulator.sendInParts(split, 3, std::chrono::milliseconds(30));
    Bytes batch = message(20, 0x22);
    const Bytes second = message(24, 0x33);
    batch.insert(batch.end(), second.begin(), second.end());
    connection.simulator.send(batch);
    const Bytes large = message(kDefaultMaxReceiveSize, 0x44);
    connection.simulator.send(large);

    for (const Bytes& expected : {split, message(20, 0x22), second, large}) {
        std::vector<std::uint8_t> received;
        ASSERT_EQ(nextMessage(connection.client, received), kSuccess);
        EXPECT_EQ(received, expected);
    }
    EXPECT_EQ(getNextDispatch(connection.client, &data, &size), kNoMessage);
}

TEST_F(SimClientTest, AReaderThatFallsBehindKeepsTheNewestMessages) {
    Connected connection;
    ASSERT_TRUE(connection.opened);
    Bytes flood;
    const std::size_t count = ReceivedMessages::kSlots * 3;
    for (std::size_t i = 0; i < count; ++i) {
        const Bytes one = message(16, static_cast<std::uint8_t>(i));
        flood.insert(flood.end(), one.begin(), one.end());
    }
    connection.simulator.holdData(true);
    connection.simulator.send(flood);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::vector<std::uint8_t> received;
    std::vector<int> fills;
    while (nextMessage(connection.client, received, std::chrono::milliseconds(200)) == kSuccess)
        fills.push_back(received.back());
    ASSERT_GE(fills.size(), 2U);
    EXPECT_LE(fills.size(), ReceivedMessages::kSlots);
    EXPECT_EQ(fills.back(), static_cast<int>((count - 1) % 256)) << "the newest is kept";
    for (std::size_t i = 1; i < fills.size(); ++i)
        EXPECT_EQ(fills[i], (fills[i - 1] + 1) % 256) << "in order";
}

// Each way the server's stream can break ends the connection with its code; the reader sees the
// code, never "no message", and the requests return it too.
TEST_F(SimClientTest, ABrokenStreamEndsTheConnectionWithItsCode) {
    struct Breakage {
        const char* what;
        std::function<void(FakeSimulator&)> act;
        std::int32_t code;  // 0: any failure code
    };
    const Breakage breakages[] = {
        {"size field 3", [](FakeSimulator& s) { s.send(message(3)); }, kBadMessageSize},
        {"size field 0", [](FakeSimulator& s) { s.send(message(0)); }, kBadMessageSize},
        {"above the maximum", [](FakeSimulator& s) { s.send(message(kDefaultMaxReceiveSize + 1)); },
         kBadMessageSize},
        {"orderly close", [](FakeSimulator& s) { s.quit(); }, kEndOfStream},
        {"reset", [](FakeSimulator& s) { s.dropConnections(); }, 0},
    };
    for (const Breakage& breakage : breakages) {
        SCOPED_TRACE(breakage.what);
        platform::NotificationEvent event;
        Connected connection({}, "", event.native());
        ASSERT_TRUE(connection.opened);
        event.reset();
        breakage.act(connection.simulator);
        std::vector<std::uint8_t> received;
        std::int32_t result = nextMessage(connection.client, received);
        if (result == kSuccess) {
            EXPECT_EQ(messageId(received), 3U) << "only the quit message comes before the end";
            result = nextMessage(connection.client, received);
        }
        EXPECT_LT(result, 0);
        EXPECT_NE(result, kNoMessage);
        if (breakage.code != 0) {
            EXPECT_EQ(result, breakage.code) << std::hex << result;
        }
        EXPECT_TRUE(event.wait(std::chrono::seconds(5))) << "the owner is told";
        EXPECT_EQ(subscribeToSystemEvent(connection.client, 4, "SimStart"), result);
        EXPECT_EQ(getNextDispatch(connection.client, nullptr, nullptr), result) << "and stays failed";
    }
}

TEST_F(SimClientTest, AMaximumAboveOneMebibyteStillRefusesWhatTheBufferCannotHold) {
    Connected connection({}, "MaxReceiveSize=4000000\n");
    ASSERT_TRUE(connection.opened);
    const Bytes fits = message(ReceiveAssembler::kCapacityCap, 0x66);
    connection.simulator.send(fits);
    std::vector<std::uint8_t> received;
    ASSERT_EQ(nextMessage(connection.client, received), kSuccess);
    EXPECT_EQ(received.size(), fits.size());
    EXPECT_EQ(received, fits);

    connection.simulator.send(message(ReceiveAssembler::kCapacityCap + 1));
    EXPECT_EQ(nextMessage(connection.client, received), kBadMessageSize) << "a failure, not an empty record";
}

#if defined(_WIN32)
TEST_F(SimClientTest, APipeClosedByTheServerEndsTheConnection) {
    FakeSimulatorOptions options;
    options.ipv4 = false;
    options.pipePath = "\\\\.\\pipe\\TarvelmondClosingPipe";
    platform::NotificationEvent event;
    FakeSimulator simulator(options);
    ASSERT_TRUE(simulator.listening());
    const ConfigInCurrentDirectory config("[SimConnect]\nProtocol=Pipe\nPort=TarvelmondClosingPipe\n");
    void* client = openClient(nullptr, 0, std::chrono::seconds(10), event.native());
    ASSERT_NE(client, nullptr);
    std::vector<std::uint8_t> received;
    ASSERT_EQ(nextMessage(client, received), kSuccess);
    event.reset();
    simulator.dropConnections();
    const std::int32_t result = nextMessage(client, received);
    // A read of nothing, or the pipe's own status: broken (Windows) or disconnected (Wine).
    EXPECT_TRUE(result == kEndOfStream || result == resultCode(0xC000014Bu) ||
                result == resultCode(0xC00000B0u))
        << std::hex << result;
    EXPECT_TRUE(event.wait(std::chrono::seconds(5)));
    clientClose(client);
}
#endif

}  // namespace
}  // namespace tarvelmond::test
