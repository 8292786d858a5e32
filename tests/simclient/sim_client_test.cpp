// One client driven by hand on a real connection, for what the server cannot bring about: a write
// that cannot even start.
#include <gtest/gtest.h>

#include "server_transport.h"
#include "simclient/client_config.h"
#include "simclient/sim_client.h"
#include "simclient_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace simclient;

TEST(SimClient, AWriteThatCannotStartEndsTheConnectionInsteadOfStallingIt) {
    auto listener = simulator_peer::listenTcp(false, 0);
    ASSERT_NE(listener, nullptr);
    platform::Stream stream = platform::connectTcp(platform::TcpFamily::Ipv4, "127.0.0.1",
                                                   std::to_string(listener->port()), {2000ms});
    ASSERT_TRUE(stream.valid());
    auto server = listener->accept(2000ms);
    ASSERT_NE(server, nullptr);
    const std::intptr_t socket = stream.native();

    platform::IoLoop loop;
    constexpr std::uint64_t kKey = 1;
    SimClient client(kKey, platform::StreamKind::Socket, kDefaultMaxReceiveSize, {}, [] {});
    ASSERT_TRUE(loop.attach(std::move(stream), kKey, false));
    client.attached(loop);
    // The sending side is gone; receiving still works, so only the write can notice.
    simulator_peer::shutdownSending(socket);

    EXPECT_EQ(client.subscribeToSystemEvent(4, "SimStart"), kSuccess);
    client.writeNext(loop);
    const std::int32_t code = client.failureCode();
    EXPECT_LT(code, 0);
    EXPECT_NE(code, kNoMessage);
    EXPECT_EQ(client.failureKind(), DisconnectKind::PeerGone);
    EXPECT_TRUE(client.sendingDone()) << "no write is left outstanding";
    EXPECT_EQ(client.getNextDispatch(nullptr, nullptr), code);
    EXPECT_EQ(client.subscribeToSystemEvent(5, "SimStop"), code);

    // The stream is closed: its read ends cancelled, and then nothing refers to the client.
    std::array<platform::IoCompletion, 8> completions;
    ASSERT_TRUE(eventually([&] {
        const std::size_t count = loop.wait(completions, 20ms);
        for (std::size_t i = 0; i < count; ++i)
            client.completed(loop, completions[i]);
        return client.released();
    }));
}

}  // namespace
}  // namespace tarvelmond::test
