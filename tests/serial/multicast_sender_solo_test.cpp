// The multicast sender in a private network namespace that each test makes for itself (it runs
// itself again under `unshare -n`), with dummy wired adapters on documentation addresses, chosen
// route metrics, a route for the group and a UDP controller joined to the group on one adapter:
// nothing leaves that namespace, and the namespace goes with the process.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "net/dotted_quad.h"
#include "peers/udp_controller.h"
#include "serial/controller_frame.h"
#include "serial/crc16.h"
#include "serial/link_test_support.h"
#include "serial/multicast_sender.h"
#include "serial/udp_listener.h"
#include "support/error_log_lines.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kAddressA = (192U << 24) | (0U << 16) | (2U << 8) | 10U;     // 192.0.2.10
constexpr std::uint32_t kAddressB = (198U << 24) | (51U << 16) | (100U << 8) | 10U;  // 198.51.100.10

// This test, run again inside a private network namespace; true in that run. The outer run checks
// that the inner one passed.
bool insidePrivateNetwork() {
    if (std::getenv("TARVELMOND_PRIVATE_NETWORK") != nullptr) return true;
#if defined(_WIN32)
    // The skip ends this helper, not the test: the test returns on false.
    [] { GTEST_SKIP() << "network namespaces are Linux's"; }();
#else
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = "unshare -n env TARVELMOND_PRIVATE_NETWORK=1 '" + self +
                                "' --gtest_color=no --gtest_filter=" + info->test_suite_name() + "." +
                                info->name();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
#endif
    return false;
}

void run(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// A wired adapter (one end of a veth pair, Ethernet to the system) with its address and prefix route
// metric, made in the order called. The other end is up too, so the adapter has its carrier; it has
// no address and no route, so it is never chosen.
void addAdapter(const std::string& name, std::uint32_t address, std::uint32_t metric, bool up = true) {
    run("ip link add " + name + " type veth peer name " + name + "-peer");
    if (up) run("ip link set " + name + "-peer up && ip link set " + name + " up");
    run("ip addr add " + dottedQuadText(address) + "/24 dev " + name + " metric " + std::to_string(metric));
}

// The group's route leads out of `name`: only the multicast interface option makes datagrams leave
// through any other adapter.
void routeGroupsThrough(const std::string& name) {
    run("ip link set lo up");
    run("ip route add 224.0.0.0/4 dev " + name);
}

std::mt19937 seeded() {
    const unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    return std::mt19937(seed);
}

std::uint32_t groupAddress(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return (std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) | (std::uint32_t{c} << 8) | d;
}

class SenderThread {
  public:
    SenderThread() : thread_([] { runMulticastSender(link()); }) {}
    ~SenderThread() {
        stopBridge();
        thread_.join();
    }
    void join() { thread_.join(); }

  private:
    std::thread thread_;
};

Bytes withCrc(Bytes message) {
    stampCrc(message.data(), message.size());
    return message;
}

int count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// The wired adapter with the lower metric, whatever the order they were listed in, sends the host's
// messages with their CRC, automatic ones unchanged for firmware without CRC checks (a lone one 11 or
// 12 times), never a bare terminator, no motion frame from before it started, to the group built
// from decimal parts (239.010.2.3 is 239.10.2.3).
TEST(MulticastSender, SendsThroughTheWiredAdapterWithTheLowestMetric) {
    if (!insidePrivateNetwork()) return;
    resetLink();
    auto random = seeded();
    std::uint32_t metricA = 1 + random() % 50;
    std::uint32_t metricB = 1 + random() % 50;
    if (metricA == metricB) ++metricB;
    const bool aFirst = random() % 2 == 0;
    if (aFirst) addAdapter("wired-a", kAddressA, metricA);
    addAdapter("wired-b", kAddressB, metricB);
    if (!aFirst) addAdapter("wired-a", kAddressA, metricA);
    const std::uint32_t chosen = metricA < metricB ? kAddressA : kAddressB;
    routeGroupsThrough(chosen == kAddressA ? "wired-b" : "wired-a");

    const auto port = static_cast<std::uint16_t>(40000 + random() % 20000);
    setMulticastGroup(link(), "239.010.2.3", port);
    UdpController controller(chosen);
    ASSERT_TRUE(controller.joinGroup(groupAddress(239, 10, 2, 3), port, chosen));

    LinkState& s = link();
    Bytes stale(36, 0);
    stale[0] = stale[1] = 0xFC;
    stale[34] = 0x0A;
    stale[35] = 0x0D;
    ASSERT_TRUE(s.udpSendQueue.push(stale.data(), stale.size(), MessageKind::Motion));
    const Bytes bare = {0x0A, 0x0D};
    const Bytes host = {'a', 'b', 'c', 0x0A, 0x0D};
    const Bytes automatic = {'x', 'y', 'z', 0x0A, 0x0D};
    ASSERT_TRUE(s.udpSendQueue.push(bare.data(), bare.size()));

    const std::size_t before = logLength();
    SenderThread sender;
    ASSERT_TRUE(eventually([&] { return sendMessagemmf(host.data()) == 1; }));
    ASSERT_EQ(autoMessagemmf(automatic.data()), 1);
    ASSERT_TRUE(controller.waitFor([](const auto& got) { return got.size() >= 12; }, 5s));
    std::this_thread::sleep_for(100ms);  // a 13th automatic send would have come by now

    const auto got = controller.received();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].bytes, withCrc(host));
    EXPECT_TRUE(got[0].crcValid);
    EXPECT_EQ(got[0].source.address, chosen);
    for (std::size_t i = 1; i < got.size(); ++i)
        EXPECT_EQ(got[i].bytes, automatic) << i;
    EXPECT_TRUE(got.size() == 12 || got.size() == 13) << got.size() << " datagrams";

    const auto lines = logMessagesSince(before);
    const std::string chosenName = chosen == kAddressA ? "wired-a" : "wired-b";
    EXPECT_EQ(count(lines, "Best adapter selected: " + chosenName +
                               " with metric: " + std::to_string(std::min(metricA, metricB))),
              1);
    EXPECT_EQ(count(lines, "Selected adapter IP: " + dottedQuadText(chosen)), 1);
    EXPECT_EQ(count(lines, "Multicastthread: Bound to Ip: " + dottedQuadText(chosen)), 1);
}

// Equal metrics: the adapter listed first. A second sender started while one runs returns at once,
// and the first sends on.
TEST(MulticastSender, TiesGoToTheAdapterListedFirstAndASecondSenderReturnsAtOnce) {
    if (!insidePrivateNetwork()) return;
    resetLink();
    addAdapter("wired-b", kAddressB, 10);
    addAdapter("wired-a", kAddressA, 10);
    routeGroupsThrough("wired-a");
    setMulticastGroup(link(), "239.1.2.3", 45000);
    UdpController controller(kAddressB);
    ASSERT_TRUE(controller.joinGroup(groupAddress(239, 1, 2, 3), 45000, kAddressB));
    SenderThread sender;
    const Bytes host = {'t', 'i', 'e', 0x0A, 0x0D};
    ASSERT_TRUE(eventually([&] { return sendMessagemmf(host.data()) == 1; }));
    ASSERT_TRUE(controller.waitFor([](const auto& got) { return !got.empty(); }, 5s));
    EXPECT_EQ(controller.received()[0].bytes, withCrc(host));
    EXPECT_EQ(controller.received()[0].source.address, kAddressB);

    std::thread([] { runMulticastSender(link()); }).join();
    const Bytes next = {'n', 'e', 'x', 't', 0x0A, 0x0D};
    ASSERT_EQ(sendMessagemmf(next.data()), 1);
    ASSERT_TRUE(controller.waitFor([](const auto& got) { return got.size() >= 2; }, 5s));
    EXPECT_EQ(controller.received()[1].bytes, withCrc(next));
}

// A PC without wired Ethernet (here: the only one is down): the sender says so and ends by itself, and
// the listener started before it runs on until it is stopped.
TEST(MulticastSender, WithoutWiredEthernetEndsAloneAndTheListenerRunsOn) {
    if (!insidePrivateNetwork()) return;
    resetLink();
    run("ip link set lo up");
    addAdapter("wired-a", kAddressA, 10, false);
    std::thread listener([] { runUdpListener(link()); });
    ASSERT_TRUE(eventually([] { return link().udpListener.active.load(); }));
    const std::size_t before = logLength();
    std::thread([] { runMulticastSender(link()); }).join();  // returns by itself
    const auto lines = logMessagesSince(before);
    EXPECT_EQ(count(lines, "No suitable adapter found."), 1);
    EXPECT_EQ(count(lines, "Multicastthread:No suitable Ethernet found , exiting"), 1);
    EXPECT_TRUE(link().udpListener.running.load()) << "the sender's failure ended the listener";
    const Bytes host = {'h', 0x0A, 0x0D};
    EXPECT_EQ(sendMessagemmf(host.data()), 1) << "the listener still counts as a running loop";
    stopBridge();
    listener.join();
}

// While the serial link has the controller nothing goes over UDP; the messages wait and go, in order,
// once it is free. Automatic messages carry the CRC once the firmware checks it.
TEST(MulticastSender, IdlesWhileTheSerialLinkHasTheController) {
    if (!insidePrivateNetwork()) return;
    resetLink();
    addAdapter("wired-a", kAddressA, 10);
    routeGroupsThrough("wired-a");
    setMulticastGroup(link(), "239.1.2.3", 45001);
    UdpController controller(kAddressA);
    ASSERT_TRUE(controller.joinGroup(groupAddress(239, 1, 2, 3), 45001, kAddressA));
    ASSERT_TRUE(claimLink(link(), LinkOwner::Serial));
    SenderThread sender;
    const Bytes first = {'o', 'n', 'e', 0x0A, 0x0D};
    const Bytes second = {'t', 'w', 'o', 0x0A, 0x0D};
    ASSERT_TRUE(eventually([&] { return sendMessagemmf(first.data()) == 1; }));
    ASSERT_EQ(sendMessagemmf(second.data()), 1);
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(controller.received().empty());
    // The serial link's queue took them; a network controller gets what the host sends next.
    releaseLink(link(), LinkOwner::Serial);
    firmwareCrcCapable().store(true);
    const Bytes automatic = {'x', 0x0A, 0x0D};
    ASSERT_EQ(sendMessagemmf(first.data()), 1);
    ASSERT_EQ(sendMessagemmf(second.data()), 1);
    ASSERT_EQ(autoMessagemmf(automatic.data()), 1);
    ASSERT_TRUE(controller.waitFor([](const auto& got) { return got.size() >= 3; }, 5s));
    const auto got = controller.received();
    EXPECT_EQ(got[0].bytes, withCrc(first));
    EXPECT_EQ(got[1].bytes, withCrc(second));
    EXPECT_EQ(got[2].bytes, withCrc(automatic));
}

}  // namespace
}  // namespace tarvelmond::test
