// The UDP listen loop on a host thread, fed by a UDP controller over 127.0.0.1: frames reach the host
// through readMessagemmf, the first controller has the link, silence frees it, the serial link keeps
// priority, and stopKestrovane_Thread waits for every loop it ends.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <array>
#include <random>
#include <thread>

#include "peers/udp_controller.h"
#include "serial/link_test_support.h"
#include "serial/udp_listener.h"
#include "support/error_log_lines.h"
#include "support/loopback.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

// The listen loop on a thread of its own, as a host lends it one, on a free loopback port.
class ListenerThread {
  public:
    ListenerThread() : port_(freeUdpPort()) {
        EXPECT_FALSE(udpPortHeld(port_));
        setUdpListenPort(link(), port_);
        thread_ = std::thread([] { runUdpListener(link()); });
        // Datagrams sent before the loop has bound its port would be lost.
        EXPECT_TRUE(eventually([this] { return udpPortHeld(port_); }));
    }
    ~ListenerThread() {
        stopBridge();
        thread_.join();
    }
    platform::Ipv4Endpoint endpoint() const { return {platform::kLoopback, port_}; }

  private:
    std::uint16_t port_;
    std::thread thread_;
};

std::mt19937 seeded(const char* what) {
    const unsigned seed = std::random_device{}();
    std::printf("%s: seed %u\n", what, seed);
    return std::mt19937(seed);
}

// The frames the host can read now, in order.
std::vector<Bytes> readAll() {
    std::vector<Bytes> frames;
    std::array<std::uint8_t, 512> buffer{};
    for (int count; (count = readMessagemmf(buffer.data())) > 0;)
        frames.emplace_back(buffer.begin(), buffer.begin() + count);
    return frames;
}

// As the host reads a frame: with 0x0A 0x0D in place of the CRC.
Bytes asRead(Bytes frame) {
    frame[frame.size() - 2] = 0x0A;
    frame[frame.size() - 1] = 0x0D;
    return frame;
}

Bytes garbage(std::mt19937& random, std::size_t count) {
    Bytes bytes(count);
    // Below every frame's start byte, so the garbage itself can never look like a frame.
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random() % 0xF8);
    return bytes;
}

TEST(UdpListener, CutsEachDatagramIntoFramesForTheHostAndDropsWhatIsNotWholeInIt) {
    resetLink();
    auto random = seeded("UdpListener.Cuts");
    ListenerThread listener;
    UdpController controller;
    EXPECT_EQ(newMessagemmf(), 0);

    const Bytes id = identificationFrame(true);
    const Bytes first = statusFrame(1, true);
    const Bytes second = statusFrame(2, false);
    const Bytes split = statusFrame(3, true);
    Bytes badCrc = statusFrame(4, true);
    badCrc[10] ^= 0x55;
    const Bytes last = statusFrame(5, true);

    Bytes two = first;
    two.insert(two.end(), second.begin(), second.end());
    Bytes noisy = garbage(random, random() % 300);
    noisy.insert(noisy.end(), last.begin(), last.end());
    const Bytes tail = garbage(random, random() % 300);
    noisy.insert(noisy.end(), tail.begin(), tail.end());
    const std::vector<Bytes> datagrams = {id,
                                          two,
                                          Bytes(split.begin(), split.begin() + 20),
                                          Bytes(split.begin() + 20, split.end()),
                                          badCrc,
                                          garbage(random, 1 + random() % 500),
                                          noisy};
    for (const Bytes& datagram : datagrams) {
        ASSERT_TRUE(controller.send(datagram, listener.endpoint()));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 5000));
    }
    std::vector<Bytes> frames;
    ASSERT_TRUE(eventually([&] {
        for (Bytes& frame : readAll())
            frames.push_back(std::move(frame));
        return frames.size() >= 4;
    }));
    std::this_thread::sleep_for(50ms);  // nothing more may follow
    for (Bytes& frame : readAll())
        frames.push_back(std::move(frame));
    const std::vector<Bytes> expected = {asRead(id), asRead(first), second, asRead(last)};
    EXPECT_EQ(frames, expected);
    EXPECT_TRUE(link().udpControllerPresent.load());
    EXPECT_EQ(isConnected(), 1);
}

// Another machine on the LAN sending valid frames to the listen port takes nothing while the
// controller has the link; once the controller has been silent for 8 s the link is free, the motion
// frames queued for it are gone, the host's own messages wait on, and the next sender may take it.
TEST(UdpListener, OnlyTheLiveControllersAddressCountsUntilItsSilenceFreesTheLink) {
    resetLink();
    LinkState& s = link();
    ListenerThread listener;
    UdpController controller;
    UdpController stranger;
    ASSERT_TRUE(controller.send(identificationFrame(true), listener.endpoint()));
    ASSERT_TRUE(eventually([&] { return newMessagemmf() == 1; }));
    const auto liveSince = std::chrono::steady_clock::now();
    EXPECT_EQ(readAll().size(), 1U);

    for (std::uint32_t i = 0; i < 5; ++i)
        ASSERT_TRUE(stranger.send(statusFrame(i, true), listener.endpoint()));
    const Bytes host = {'h', 'o', 's', 't', 0x0A, 0x0D};
    ASSERT_EQ(sendMessagemmf(host.data()), 1);
    Bytes motion(36, 0);
    motion[0] = motion[1] = 0xFC;
    motion[34] = 0x0A;
    motion[35] = 0x0D;
    ASSERT_TRUE(s.udpSendQueue.push(motion.data(), motion.size(), MessageKind::Motion));
    ASSERT_TRUE(s.serialSendQueue.push(motion.data(), motion.size(), MessageKind::Motion));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(newMessagemmf(), 0) << "the stranger's frames were taken";

    ASSERT_TRUE(eventually([&] { return !s.udpControllerPresent.load(); }, 12s));
    EXPECT_GE(std::chrono::steady_clock::now() - liveSince, 7900ms);
    EXPECT_EQ(s.linkOwner.load(), LinkOwner::None);
    EXPECT_EQ(s.udpSendQueue.motionCount(), 0U) << "gone before the link was free";
    EXPECT_EQ(s.serialSendQueue.motionCount(), 0U) << "gone before the link was free";
    Message kept;
    ASSERT_TRUE(s.udpSendQueue.front(kept));
    EXPECT_EQ(Bytes(kept.bytes.begin(), kept.bytes.begin() + kept.size), host);

    ASSERT_TRUE(stranger.send(statusFrame(9, true), listener.endpoint()));
    ASSERT_TRUE(eventually([&] { return newMessagemmf() == 1; }));
    EXPECT_EQ(readAll(), std::vector<Bytes>{asRead(statusFrame(9, true))});
}

// While the serial link carries the controller the listener reads nothing; what arrived meanwhile is
// read once the serial link is free.
TEST(UdpListener, IdlesWhileTheSerialLinkHasTheControllerAndNeverBothAreLive) {
    resetLink();
    LinkState& s = link();
    ASSERT_TRUE(claimLink(s, LinkOwner::Serial));
    ListenerThread listener;
    UdpController controller;
    ASSERT_TRUE(controller.send(identificationFrame(false), listener.endpoint()));
    std::this_thread::sleep_for(250ms);
    EXPECT_FALSE(s.udpControllerPresent.load());
    EXPECT_TRUE(s.udpReceiveQueue.empty());
    releaseLink(s, LinkOwner::Serial);
    ASSERT_TRUE(eventually([&] { return s.udpControllerPresent.load(); }));
    EXPECT_FALSE(claimLink(s, LinkOwner::Serial)) << "the UDP controller has the link now";
    EXPECT_FALSE(s.serialControllerPresent.load());
}

// Two links finding their controller at the same moment: exactly one has it at any time.
TEST(LinkOwnership, IsClaimedAtomicallyByOneLinkAtATime) {
    LinkState state;
    std::atomic<int> overlaps{0};
    std::atomic<int> claims{0};
    const auto contend = [&](LinkOwner self, std::atomic<bool>& other) {
        for (int i = 0; i < 20000; ++i) {
            if (!claimLink(state, self)) continue;
            ++claims;
            if (other.load() || state.linkOwner.load() != self) ++overlaps;
            releaseLink(state, self);
        }
    };
    std::thread serial(contend, LinkOwner::Serial, std::ref(state.udpControllerPresent));
    std::thread udp(contend, LinkOwner::Udp, std::ref(state.serialControllerPresent));
    serial.join();
    udp.join();
    EXPECT_EQ(overlaps.load(), 0);
    EXPECT_GT(claims.load(), 0);
    EXPECT_EQ(state.linkOwner.load(), LinkOwner::None);
}

// stopKestrovane_Thread returns only once every loop it ends has ended, the listener's last lines
// written; a listen port held by another program is logged and the loop still runs until stopped.
TEST(UdpListener, StopWaitsForTheBridgeAndTheListenerAndATakenPortKeepsTheLoopRunning) {
    resetLink();
    auto random = seeded("UdpListener.Stop");
    LinkState& s = link();
    const std::uint16_t port = freeUdpPort();
    platform::SocketLibrary library;
    library.start();
    platform::Socket holder = platform::Socket::udp();
    ASSERT_TRUE(holder.bind({0, port}));

    const std::size_t before = logLength();
    setUdpListenPort(s, port);
    std::thread bridge([] { runBridge(); });
    std::thread listener([&] { runUdpListener(s); });
    ASSERT_TRUE(eventually([&] { return s.udpListener.active.load() && s.bridgeActive.load(); }));
    std::thread second([&] { runUdpListener(s); });
    second.join();  // a second listener returns at once; the first goes on
    EXPECT_TRUE(s.udpListener.running.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 200));
    stopBridge();
    EXPECT_FALSE(s.udpListener.active.load()) << "stop returned before the listener ended";
    EXPECT_FALSE(s.bridgeActive.load());
    EXPECT_TRUE(s.udpStopped.load());
    bridge.join();
    listener.join();

    std::vector<std::string> mine;
    for (const std::string& line : logMessagesSince(before))
        if (line.rfind("Udp", 0) == 0 || line.find("port") != std::string::npos ||
            line.find("Port") != std::string::npos || line.rfind("Binding", 0) == 0)
            mine.push_back(line);
    const std::vector<std::string> expected = {
        "UDP Controller Thread : Set UdpPort : " + std::to_string(port),
        "Udp listen thread: starting",
        "Udp class init",
        "Opening port: " + std::to_string(port),
        "Binding socket failed with error: " + std::to_string(platform::addressInUseError()),
        "Udp listen thread: port opened starting main routine",
        "Udp listen thread: closing",
        "Port closed.",
    };
    EXPECT_EQ(mine, expected);
}

}  // namespace
}  // namespace tarvelmond::test
