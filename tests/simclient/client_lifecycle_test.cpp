// Opening and closing without holding the caller, and without leaving anything behind: connects that
// hang, connects that fail, closes while I/O is under way.
#include <gtest/gtest.h>

#include <cstdlib>

#include "message_window.h"
#include "platform/process_info.h"
#include "simclient/client_io_service.h"
#include "simclient_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace simclient;
using simulator_peer::FakeSimulator;

std::chrono::milliseconds timeOf(const std::function<void()>& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// A port on 127.0.0.1 where nothing listens.
std::uint16_t closedPort() {
    return simulator_peer::listenTcp(false, 0)->port();
}

TEST_F(SimClientTest, AConnectThatHangsGoesOnInTheBackgroundAndIsTakenUpLater) {
    // A listener whose backlog is full drops every further connection request: the connect hangs.
    auto listener = simulator_peer::listenTcp(false, 0, 0);
    ASSERT_NE(listener, nullptr);
    auto filler = std::make_unique<simulator_peer::HeldConnection>(listener->port());
    ASSERT_TRUE(filler->connected());
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", listener->port()));

    void* handle = nullptr;
    int resourcesOfOneConnect = 0;
    for (int pass = 0; pass < 20; ++pass) {
        const auto took =
            timeOf([&] { EXPECT_EQ(clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0), kFailed); });
        // The connect itself lasts seconds; the call must not.
        EXPECT_LT(took.count(), 1000) << "pass " << pass;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (pass == 4) resourcesOfOneConnect = platform::openResourceCount();
    }
    EXPECT_EQ(connectionsUnderWay(), 1U) << "one connect, not one per pass";
    // The count moves by a handle or two as the background connect closes one socket and tries again
    // with the next; one opened per pass would be fifteen more.
    EXPECT_LE(platform::openResourceCount(), resourcesOfOneConnect + 3)
        << "nothing more is opened pass after pass";

    // Room in the backlog: the connect's next try gets through, and a later pass takes the client.
    filler.reset();
    auto first = listener->accept(std::chrono::milliseconds(2000));
    ASSERT_NE(first, nullptr);
    void* client = openClient();
    ASSERT_NE(client, nullptr);
    EXPECT_NE(listener->accept(std::chrono::milliseconds(2000)), nullptr) << "the background connect";
    EXPECT_EQ(clientClose(client), kSuccess);
}

TEST_F(SimClientTest, AThousandFailedOpensLeaveNoSocketOrHandle) {
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", closedPort()));
    void* handle = nullptr;
    const auto openMany = [&](int passes) {
        int failures = 0;
        for (int pass = 0; pass < passes; ++pass)
            failures += clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0) == kFailed ? 1 : 0;
        closeAllClients();
        return failures;
    };
    // The first uses start what lives as long as the process (under Wine, Winsock's own handles).
    openMany(20);
    const int before = platform::openResourceCount();
    EXPECT_EQ(openMany(1000), 1000);
    EXPECT_EQ(handle, nullptr);
    EXPECT_LE(platform::openResourceCount() - before, kSystemHandlesOpenedLate)
        << "a leak shows a thousand times";
}

TEST_F(SimClientTest, CloseHandsTheConnectionOverWhileItsIoIsOutstanding) {
    // A server that takes the connection and never reads: the client's writes stall in the middle.
    auto listener = simulator_peer::listenTcp(false, 0);
    ASSERT_NE(listener, nullptr);
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", listener->port()));
    void* client = openClient();
    ASSERT_NE(client, nullptr);
    auto server = listener->accept(std::chrono::milliseconds(5000));
    ASSERT_NE(server, nullptr);
    for (int i = 0; i < 40000; ++i) {
        ASSERT_EQ(addToDataDefinition(client, 0, "PLANE BANK DEGREES", "radians", 4, 0.0f, 0xFFFFFFFFu),
                  kSuccess);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const auto took = timeOf([&] { EXPECT_EQ(clientClose(client), kSuccess); });
    EXPECT_LT(took.count(), ClientIoService::kCloseFlushLimit.count()) << "the flush waits on the I/O thread";
    EXPECT_EQ(clientsHeld(), 1U) << "closing goes on after the call";
    EXPECT_TRUE(eventually([] { return clientsHeld() == 0; }));
    EXPECT_TRUE(eventually([] { return !clientThreadRunning(); }))
        << "the I/O thread ends with its last client";
    std::array<std::uint8_t, 65536> drained{};
    EXPECT_TRUE(eventually([&] { return server->receive(drained, std::chrono::milliseconds(10)) < 0; }))
        << "the connection is closed";
}

TEST_F(SimClientTest, CloseAllEndsConnectionsAndAttemptsAlike) {
    FakeSimulator simulator;
    ASSERT_TRUE(simulator.listening());
    auto listener = simulator_peer::listenTcp(false, 0, 0);
    const simulator_peer::HeldConnection filler(listener->port());
    const std::string streamingConfig = tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port());
    {
        const ConfigInCurrentDirectory config(streamingConfig);
        clientClose(openClient());
        closeAllClients();
        ASSERT_TRUE(eventually([&] { return simulator.connectionsOpen() == 0; }));
    }
    const int before = platform::openResourceCount();
    {
        const ConfigInCurrentDirectory config(streamingConfig);
        void* streaming = openClient();
        ASSERT_NE(streaming, nullptr);
        ASSERT_EQ(
            addToDataDefinition(streaming, 0, "VELOCITY BODY Z", "meter per second", 4, 0.0f, 0xFFFFFFFFu),
            kSuccess);
        ASSERT_EQ(requestDataOnSimObject(streaming, 0, 0, 0, 3, 0, 0, 0, 0), kSuccess);
        ASSERT_TRUE(eventually([&] { return simulator.dataMessagesSent() > 5; }));
    }
    {
        const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", listener->port()));
        void* handle = nullptr;
        EXPECT_EQ(clientOpen(&handle, "Hanging", nullptr, 0, nullptr, 0), kFailed);
        EXPECT_EQ(connectionsUnderWay(), 1U);
    }

    const auto took = timeOf(closeAllClients);
    EXPECT_LT(took.count(), 2000) << "a hanging connect is called off, not waited for";
    EXPECT_FALSE(clientThreadRunning());
    EXPECT_EQ(connectionsUnderWay(), 0U);
    EXPECT_TRUE(eventually([&] { return simulator.connectionsOpen() == 0; }));
    EXPECT_TRUE(eventually([&] { return handlesBackTo(before); }))
        << platform::openResourceCount() << " against " << before;
}

// Every message, and a failure, tells the owner: its event is set and (on Windows) its window gets the
// message number it gave.
TEST_F(SimClientTest, EveryReceivedMessageNotifiesTheOwner) {
    FakeSimulator simulator;
    platform::NotificationEvent event;
    constexpr std::uint32_t kNotification = 0x8000 + 5;
    simulator_peer::MessageWindow window(kNotification);
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port()));
    void* client =
        openClient(nullptr, 0, std::chrono::seconds(10), event.native(), window.handle(), kNotification);
    ASSERT_NE(client, nullptr);
    EXPECT_TRUE(event.wait(std::chrono::seconds(5))) << "the open's acknowledgement";
    std::vector<std::uint8_t> received;
    ASSERT_EQ(nextMessage(client, received), kSuccess);
    event.reset();
    ASSERT_EQ(subscribeToSystemEvent(client, 4, "SimStart"), kSuccess);
    ASSERT_TRUE(eventually([&] { return simulator.requests().size() == 2; }));
    simulator.sendEvent("SimStart");
    EXPECT_TRUE(event.wait(std::chrono::seconds(5)));
    ASSERT_EQ(nextMessage(client, received), kSuccess);
    EXPECT_EQ(messageId(received), 4U);
    if (window.handle() != nullptr) {
        EXPECT_EQ(window.countReceived(), 2) << "one window message for each of the two messages";
    }
    EXPECT_EQ(clientClose(client), kSuccess);
}

}  // namespace
}  // namespace tarvelmond::test
