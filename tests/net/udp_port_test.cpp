// The UDP port over real loopback sockets, with its log lines.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "log/error_log.h"
#include "net/udp_port.h"
#include "platform/documents_folder.h"
#include "platform/sockets.h"
#include "support/error_log_lines.h"
#include "support/loopback.h"

namespace tarvelmond::test {
namespace {

TEST(UdpPort, OpensReceivesAndClosesWithItsLogLines) {
    const std::size_t before = logLength();
    const int port = freeUdpPort();
    auto udp = std::make_unique<UdpPort>();
    ASSERT_EQ(udp->openUdpPort(port), 1);
    EXPECT_TRUE(udp->isOpen());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(udp->receiveDatagram().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << "never waits";

    platform::SocketLibrary library;
    library.start();
    platform::Socket sender = platform::Socket::udp();
    sender.bind({platform::kLoopback, 0});
    const std::vector<std::uint8_t> first = {1, 2, 3, 4, 5};
    const std::vector<std::uint8_t> second(3000, 0xAB);
    ASSERT_EQ(sender.sendTo(first, {platform::kLoopback, static_cast<std::uint16_t>(port)}), 5);
    ASSERT_EQ(sender.sendTo(second, {platform::kLoopback, static_cast<std::uint16_t>(port)}), 3000);

    std::span<const std::uint8_t> received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((received = udp->receiveDatagram()).empty() && std::chrono::steady_clock::now() < deadline) {
    }
    ASSERT_EQ(std::vector<std::uint8_t>(received.begin(), received.end()), first);
    EXPECT_EQ(udp->address().address, platform::kLoopback) << "the sender's address";
    EXPECT_EQ(udp->address().port, sender.localPort());
    const std::uint8_t* storage = received.data();
    received = udp->receiveDatagram();
    ASSERT_EQ(received.size(), 3000U);
    EXPECT_EQ(received.data(), storage) << "datagrams land in the port's own storage";
    EXPECT_EQ(received[2999], 0xAB);

    EXPECT_EQ(udp->closeUdpPort(), 0);
    EXPECT_FALSE(udp->isOpen());
    udp.reset();
    const auto lines = logTail(before);
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(logMessage(lines[0]), "Udp class init");
    EXPECT_EQ(logMessage(lines[1]), "Opening port: " + std::to_string(port));
    EXPECT_EQ(logMessage(lines[2]), "Port " + std::to_string(port) + " opened successfully.");
    EXPECT_EQ(logMessage(lines[3]), "Port closed.");
    EXPECT_EQ(lines[0].rfind("[INFO] [", 0), 0U);
}

TEST(UdpPort, APortHeldElsewhereFailsWithTheAddressInUseCode) {
    const int port = freeUdpPort();
    UdpPort holder;
    ASSERT_EQ(holder.openUdpPort(port), 1);
    const std::size_t before = logLength();
    UdpPort second;
    EXPECT_EQ(second.openUdpPort(port), 0);
    EXPECT_FALSE(second.isOpen());
    const auto lines = logTail(before);
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(logMessage(lines[1]), "Opening port: " + std::to_string(port));
    EXPECT_EQ(lines[2].rfind("[ERROR] [", 0), 0U);
    EXPECT_EQ(logMessage(lines[2]),
              "Binding socket failed with error: " + std::to_string(platform::addressInUseError()));
    // The failed port may be opened again once the port is free.
    holder.closeUdpPort();
    EXPECT_EQ(second.openUdpPort(port), 1);
    second.closeUdpPort();
}

}  // namespace
}  // namespace tarvelmond::test
