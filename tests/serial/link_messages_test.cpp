// The host's message calls: acceptance, routing between the serial and UDP links, and reading the
// controller's frames from the live link. The loops are represented by their flags here; the bridge
// itself is exercised in bridge_test.cpp.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <cstring>
#include <vector>

#include "serial/link_test_support.h"

namespace tarvelmond::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

class LinkMessages : public ::testing::Test {
  protected:
    void SetUp() override { resetLink(); }
    void TearDown() override { resetLink(); }

    static Bytes take(MessageQueue& q) {
        Message m;
        if (!q.front(m)) return {};
        q.popFront();
        return Bytes(m.bytes.begin(), m.bytes.begin() + m.size);
    }
};

TEST_F(LinkMessages, NothingIsAcceptedWhileNoLoopRuns) {
    const Bytes abc = {'a', 'b', 'c', 0x0A, 0x0D};
    EXPECT_EQ(sendMessagemmf(abc.data()), -1);
    int result = 1;
    EXPECT_EQ(printedBy([&] { result = autoMessagemmf(abc.data()); }), "no valid data");
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(link().serialSendQueue.empty());
    EXPECT_TRUE(link().autoSendQueue.empty());
}

TEST_F(LinkMessages, AMessageEndsAtItsFirstTerminatorWithin512Bytes) {
    link().bridgeRunning.store(true);
    const Bytes abc = {'a', 'b', 'c', 0x0A, 0x0D, 'x', 0x0A, 0x0D};
    EXPECT_EQ(sendMessagemmf(abc.data()), 1);
    EXPECT_EQ(take(link().serialSendQueue), (Bytes{'a', 'b', 'c', 0x0A, 0x0D}));

    Bytes longest(600, 0x41);
    longest[510] = 0x0A;
    longest[511] = 0x0D;
    EXPECT_EQ(sendMessagemmf(longest.data()), 1);
    EXPECT_EQ(take(link().serialSendQueue).size(), 512u);

    Bytes tooLong(600, 0x41);
    tooLong[511] = 0x0A;
    tooLong[512] = 0x0D;
    EXPECT_EQ(sendMessagemmf(tooLong.data()), -1);
    EXPECT_EQ(sendMessagemmf(Bytes(600, 0x41).data()), -1);
    EXPECT_EQ(sendMessagemmf(nullptr), -1);

    const Bytes bare = {0x0A, 0x0D};
    EXPECT_EQ(sendMessagemmf(bare.data()), 1);
    EXPECT_EQ(take(link().serialSendQueue), bare);
}

TEST_F(LinkMessages, RoutingFollowsTheLiveLink) {
    LinkState& s = link();
    s.udpRunning.store(true);  // a UDP loop alone makes messages acceptable too
    const Bytes m = {0x01, 0x0A, 0x0D};

    // Nobody answered yet: both queues get it; full queues still answer 1.
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(sendMessagemmf(m.data()), 1);
    EXPECT_EQ(sendMessagemmf(m.data()), 1);
    EXPECT_EQ(s.serialSendQueue.size(), 150u);
    EXPECT_EQ(s.udpSendQueue.size(), 150u);

    // Serial live and full: refused, unless UDP is live too, then the UDP queue decides.
    s.serialControllerPresent.store(true);
    EXPECT_EQ(sendMessagemmf(m.data()), -1);
    s.udpControllerPresent.store(true);
    EXPECT_EQ(sendMessagemmf(m.data()), -1) << "the UDP queue is full as well";
    s.udpSendQueue.popFront();
    EXPECT_EQ(sendMessagemmf(m.data()), 1);
    EXPECT_EQ(s.udpSendQueue.size(), 150u);

    // Serial live with room: only the serial queue.
    s.serialSendQueue.clear();
    s.udpSendQueue.clear();
    EXPECT_EQ(sendMessagemmf(m.data()), 1);
    EXPECT_EQ(s.serialSendQueue.size(), 1u);
    EXPECT_TRUE(s.udpSendQueue.empty());

    // UDP live only.
    s.serialControllerPresent.store(false);
    EXPECT_EQ(sendMessagemmf(m.data()), 1);
    EXPECT_EQ(s.serialSendQueue.size(), 1u);
    EXPECT_EQ(s.udpSendQueue.size(), 1u);
}

TEST_F(LinkMessages, AutomaticMessagesHaveTheirOwnCappedQueue) {
    link().bridgeRunning.store(true);
    const Bytes m = {0x07, 0x0A, 0x0D};
    for (int i = 0; i < 150; ++i)
        ASSERT_EQ(autoMessagemmf(m.data()), 1);
    int result = 1;
    EXPECT_EQ(printedBy([&] { result = autoMessagemmf(m.data()); }), "") << "a full queue refuses silently";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(printedBy([&] { result = autoMessagemmf(Bytes(600, 1).data()); }), "no valid data");
    EXPECT_EQ(result, 0);
}

TEST_F(LinkMessages, TheHostReadsFramesFromTheLiveLinkUpToTheirFirstTerminator) {
    LinkState& s = link();
    unsigned char buffer[512];
    Bytes status(38, 0x20);
    status[0] = status[1] = 0xF8;
    status[10] = 0x0A;
    status[11] = 0x0D;
    status[36] = 0x0A;
    status[37] = 0x0D;
    s.serialReceiveQueue.push(status.data(), status.size());
    const Bytes udpFrame = {0xF9, 0xF9, 0x05, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    s.udpReceiveQueue.push(udpFrame.data(), udpFrame.size());

    EXPECT_EQ(newMessagemmf(), 0) << "no link is live";
    EXPECT_EQ(readMessagemmf(buffer), 0);

    s.udpControllerPresent.store(true);
    EXPECT_EQ(newMessagemmf(), 1);
    s.serialControllerPresent.store(true);  // serial wins
    EXPECT_EQ(newMessagemmf(), 1);
    EXPECT_EQ(readMessagemmf(buffer), 12);
    EXPECT_EQ(Bytes(buffer, buffer + 12), Bytes(status.begin(), status.begin() + 12));
    EXPECT_EQ(newMessagemmf(), 0) << "the UDP frame is not read while serial is live";
    EXPECT_EQ(readMessagemmf(buffer), 0);

    s.serialControllerPresent.store(false);
    EXPECT_EQ(readMessagemmf(buffer), 8);
    EXPECT_EQ(Bytes(buffer, buffer + 8), udpFrame);

    const Bytes endless(40, 0x11);
    s.udpReceiveQueue.push(endless.data(), endless.size());
    EXPECT_EQ(readMessagemmf(buffer), 0) << "a frame without terminator is removed with 0 bytes";
    EXPECT_TRUE(s.udpReceiveQueue.empty());
}

TEST_F(LinkMessages, ConnectionAndInterfaceFlags) {
    LinkState& s = link();
    EXPECT_EQ(isConnected(), 0);
    s.portConnected.store(true);
    EXPECT_EQ(isConnected(), 0) << "connected, but no loop runs";
    s.bridgeRunning.store(true);
    EXPECT_EQ(isConnected(), 1);
    s.portConnected.store(false);
    s.udpStarted.store(true);
    s.bridgeRunning.store(false);
    s.udpRunning.store(true);
    EXPECT_EQ(isConnected(), 1);

    EXPECT_EQ(isInterfaceRunning(), 1);
    EXPECT_EQ(pauseInterface(), 1);
    EXPECT_EQ(isInterfaceRunning(), 0);
    EXPECT_EQ(enableAutoconnect(), 1);
    EXPECT_EQ(resumeInterface(), 1) << "auto-connect on: the bridge's scan will connect";
    EXPECT_EQ(isInterfaceRunning(), 1);
    EXPECT_EQ(disableAutoconnect(), 1);
    EXPECT_FALSE(s.autoConnectEnabled.load());
}

TEST_F(LinkMessages, StopReturnsAtOnceWhenNoLoopRuns) {
    const auto start = std::chrono::steady_clock::now();
    stopKestrovane_Thread();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace tarvelmond::test
