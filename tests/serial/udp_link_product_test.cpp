// The network link through the product loaded by name, as a host drives it: setUDPport and
// startUPDListenThread on a thread of the host's, a UDP controller on 127.0.0.1, the controller's
// frames read with readMessagemmf, and stopKestrovane_Thread ending the loop so the thread returns.
#include <gtest/gtest.h>

#include <array>
#include <future>
#include <thread>

#include "peers/udp_controller.h"
#include "support/error_log_lines.h"
#include "support/eventually.h"
#include "support/loopback.h"
#include "support/product_library.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

TEST(UdpLinkProduct, AHostReadsTheNetworkControllersFramesAndStopsTheListener) {
    ASSERT_TRUE(productLibrary().loaded()) << productLibrary().error();
    const auto readMessage = exported<int(unsigned char*)>("readMessagemmf");
    const auto sendMessage = exported<int(const unsigned char*)>("sendMessagemmf");
    const auto isConnected = exported<int()>("isConnected");
    const std::uint16_t port = freeUdpPort();
    const std::size_t before = logLength();
    exported<void(std::uint16_t)>("setUDPport")(port);
    EXPECT_EQ(logMessagesSince(before).back(),
              "UDP Controller Thread : Set UdpPort : " + std::to_string(port));

    const Bytes message = {'a', 'b', 'c', 0x0A, 0x0D};
    EXPECT_EQ(sendMessage(message.data()), -1) << "no loop runs yet";
    auto listener = std::async(std::launch::async, [] { exported<void()>("startUPDListenThread")(); });
    ASSERT_TRUE(eventually([&] { return sendMessage(message.data()) == 1; })) << "the loop runs";
    EXPECT_EQ(isConnected(), 1);

    UdpController controller;
    const Bytes id = identificationFrame(true);
    std::array<unsigned char, 512> buffer{};
    int count = 0;
    ASSERT_TRUE(eventually([&] {
        controller.send(id, {platform::kLoopback, port});  // again, until the loop has its port open
        return (count = readMessage(buffer.data())) > 0;
    }));
    ASSERT_EQ(count, 8);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 6), Bytes(id.begin(), id.begin() + 6));
    EXPECT_EQ(buffer[6], 0x0A);
    EXPECT_EQ(buffer[7], 0x0D);

    exported<void()>("stopKestrovane_Thread")();
    // Once the stop has returned no loop runs any more; the host's thread then comes back from the
    // loop's call (a moment later: the call still has to return).
    EXPECT_EQ(sendMessage(message.data()), -1) << "stop returned before the loop ended";
    EXPECT_EQ(isConnected(), 0);
    EXPECT_EQ(readMessage(buffer.data()), 0) << "an ended loop's controller no longer has the link";
    EXPECT_EQ(listener.wait_for(2s), std::future_status::ready);
    listener.get();
}

}  // namespace
}  // namespace tarvelmond::test
