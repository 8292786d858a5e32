// A game that sends faster than the loop reads must not leave a backlog in the socket: one read takes
// everything waiting, so the record shows the newest frame and the next read finds nothing stale.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/frame_timer.h"
#include "games/readers.h"
#include "games/telemetry_record.h"
#include "net/udp_port.h"
#include "platform/sockets.h"

namespace tarvelmond {
namespace {

using Bytes = std::vector<std::uint8_t>;

void putFloat(Bytes& bytes, std::size_t offset, float value) {
    std::memcpy(bytes.data() + offset, &value, sizeof value);  // the games send little-endian
}

// An X-Plane "DATA" datagram with one group whose first value is `first` (and an unused group 0,
// since the reader skips datagrams of fewer than two records).
Bytes xplaneGroup(std::uint8_t group, float first) {
    Bytes bytes(5 + 2 * 36, 0);
    std::memcpy(bytes.data(), "DATA", 4);
    bytes[5] = group;
    putFloat(bytes, 9, first);
    return bytes;
}

// A DiRT Rally 2 motion datagram with the given pitch (radians, at 48).
Bytes dirtMotion(float pitchRadians) {
    Bytes bytes(kDirtRallyMotionSize, 0);
    putFloat(bytes, 48, pitchRadians);
    return bytes;
}

struct Backlog : ::testing::Test {
    void SetUp() override {
        library.start();
        sender = platform::Socket::udp();
        platform::Socket probe = platform::Socket::udp();
        ASSERT_TRUE(probe.bind({platform::kLoopback, 0}));
        portNumber = probe.localPort();
        probe.close();
        ASSERT_EQ(port.openUdpPort(portNumber), 1);
        timer.tick();
    }
    void TearDown() override { port.closeUdpPort(); }

    void send(const std::vector<Bytes>& datagrams) {
        for (const Bytes& d : datagrams)
            ASSERT_EQ(sender.sendTo(d, {platform::kLoopback, static_cast<std::uint16_t>(portNumber)}),
                      static_cast<int>(d.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // loopback delivery; readers never wait
    }

    ReaderContext context() { return {timer, record, onGround}; }

    platform::SocketLibrary library;
    platform::Socket sender;
    int portNumber = 0;
    UdpPort port;
    FrameTimer timer;
    TelemetryRecord record;
    std::uint32_t onGround = 0;
};

TEST_F(Backlog, XplaneTakesEveryWaitingDatagramInOrder) {
    // Five frames of attitude, then the speed in a datagram of its own, as a game may split its groups.
    send({xplaneGroup(17, 1.0f), xplaneGroup(17, 2.0f), xplaneGroup(17, 3.0f), xplaneGroup(17, 4.0f),
          xplaneGroup(17, 5.0f), xplaneGroup(3, 0.0f)});
    ASSERT_EQ(readXplane(port, context()), 1);
    EXPECT_DOUBLE_EQ(record.get(Channel::pitch_position), 5.0);
    EXPECT_EQ(readXplane(port, context()), 0) << "a stale datagram was left behind";

    // The bound on one read: a flood leaves the rest for the next tick instead of holding the loop.
    std::vector<Bytes> flood;
    for (int i = 0; i < kMostDatagramsPerRead + 3; ++i)
        flood.push_back(xplaneGroup(17, static_cast<float>(i)));
    send(flood);
    ASSERT_EQ(readXplane(port, context()), 1);
    EXPECT_DOUBLE_EQ(record.get(Channel::pitch_position), kMostDatagramsPerRead - 1);
    ASSERT_EQ(readXplane(port, context()), 1);
    EXPECT_DOUBLE_EQ(record.get(Channel::pitch_position), kMostDatagramsPerRead + 2);
}

TEST_F(Backlog, WholeFrameGamesReadTheNewestUsableDatagram) {
    // A short stray datagram after the newest frame does not hide it.
    send({dirtMotion(0.1f), dirtMotion(0.2f), dirtMotion(0.3f), Bytes{1}});
    ASSERT_EQ(readDirtRally(port, context()), 1);
    EXPECT_NEAR(record.get(Channel::pitch_position), 0.3 * 180.0 / 3.14159265358979, 1e-4);
    EXPECT_EQ(readDirtRally(port, context()), 0);

    send({Bytes{1}});
    EXPECT_EQ(readDirtRally(port, context()), 0) << "nothing usable waiting";
}

}  // namespace
}  // namespace tarvelmond
