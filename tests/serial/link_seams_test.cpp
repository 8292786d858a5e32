// The link's two seams: as a frame sink it takes the output stage's frames only while a loop runs, and
// keeps just the newest while no controller line takes them; behind it, the send drain speaks to any
// controller line, here one in memory, with the wire rules the serial port gets.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "serial/controller_line.h"
#include "serial/crc16.h"
#include "serial/link_state.h"
#include "serial/send_drain.h"
#include "serial/serial_port.h"

namespace tarvelmond {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// A line that keeps every write whole and can be told to fail from a given write on, as a port
// whose device was pulled out does.
class MemoryLine final : public ControllerLine {
  public:
    void write(const std::uint8_t* bytes, std::size_t count) override {
        if (failFromWrite >= 0 && static_cast<int>(writes.size()) >= failFromWrite) throw CSerialException(5);
        writes.emplace_back(bytes, bytes + count);
    }
    std::size_t read(std::uint8_t*, std::size_t) override { return 0; }
    platform::PortStatus status() override {
        platform::PortStatus status;
        status.bytesToWrite = unsent;
        return status;
    }
    void purgeInput() override {}
    void close() override { closed = true; }

    std::vector<Bytes> writes;
    std::uint32_t unsent = 0;  // the driver's count of bytes not yet on the wire
    int failFromWrite = -1;
    bool closed = false;
};

Bytes hostMessage(std::uint8_t tag) {
    return {0xF9, 0xF9, 0x07, tag, 0x0A, 0x0D};
}

Bytes motionFrame(std::uint8_t tag) {
    Bytes frame(36, 0);
    frame[0] = frame[1] = 0xFC;
    frame[2] = tag;
    frame[10] = 0x0A;  // a frame goes whole whatever its values contain
    frame[11] = 0x0D;
    frame[34] = 0x0A;
    frame[35] = 0x0D;
    return frame;
}

// What the wire carries for a queued message: its CRC-16/ARC, low byte first, in place of 0x0A 0x0D.
Bytes onTheWire(Bytes message) {
    const std::uint16_t crc = crc16Arc(message.data(), message.size() - 2);
    message[message.size() - 2] = static_cast<std::uint8_t>(crc & 0xFFU);
    message[message.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
    return message;
}

// A link whose bridge runs with a connected serial controller: its send queue is being taken.
void connect(LinkState& state) {
    state.bridgeRunning.store(true);
    state.bridgeActive.store(true);
    state.portConnected.store(true);
    state.serialControllerPresent.store(true);
}

TEST(LinkAsFrameSink, TakesFramesOnlyWhileALoopRunsAndKeepsTheNewestWhileNoLineTakesThem) {
    LinkState state;
    FrameSink& sink = state;
    const Bytes first = motionFrame(1);
    EXPECT_FALSE(sink.takeFrame(first.data(), first.size())) << "no bridge or UDP loop runs";
    EXPECT_TRUE(state.serialSendQueue.empty());

    state.bridgeRunning.store(true);  // running, but no port connected yet
    for (std::uint8_t tag = 1; tag <= 5; ++tag) {
        const Bytes frame = motionFrame(tag);
        EXPECT_TRUE(sink.takeFrame(frame.data(), frame.size()));
    }
    Message waiting;
    ASSERT_TRUE(state.serialSendQueue.front(waiting));
    EXPECT_EQ(state.serialSendQueue.size(), 1U) << "frames for a link that takes nothing never pile up";
    EXPECT_EQ(waiting.bytes[2], 5) << "the newest frame waits";

    state.serialSendQueue.clear();
    connect(state);
    for (std::uint8_t tag = 1; tag <= 3; ++tag) {
        const Bytes frame = motionFrame(tag);
        EXPECT_TRUE(sink.takeFrame(frame.data(), frame.size()));
    }
    EXPECT_EQ(state.serialSendQueue.motionCount(), 3U) << "a connected line takes every frame in order";

    // The motion stops: its frames still waiting never go, the host's messages do.
    const Bytes message = hostMessage(7);
    ASSERT_TRUE(state.serialSendQueue.push(message.data(), message.size()));
    sink.dropWaitingFrames();
    EXPECT_EQ(state.serialSendQueue.motionCount(), 0U);
    ASSERT_TRUE(state.serialSendQueue.front(waiting));
    EXPECT_EQ(state.serialSendQueue.size(), 1U);
    EXPECT_EQ(Bytes(waiting.bytes.begin(), waiting.bytes.begin() + waiting.size), message);
}

TEST(SendDrainOverALine, HostMessagesAndFramesGoWholeInOrderWithTheirCrc) {
    LinkState state;
    connect(state);
    MemoryLine line;
    SendDrain drain(250000);
    const Bytes a = hostMessage(1), frame = motionFrame(9), b = hostMessage(2);
    ASSERT_TRUE(state.serialSendQueue.push(a.data(), a.size()));
    ASSERT_TRUE(state.serialSendQueue.push(frame.data(), frame.size(), MessageKind::Motion));
    ASSERT_TRUE(state.serialSendQueue.push(b.data(), b.size()));

    EXPECT_EQ(drain.drain(state, line), SendDrain::Result::Empty);
    EXPECT_EQ(line.writes, (std::vector<Bytes>{onTheWire(a), onTheWire(frame), onTheWire(b)}));
    EXPECT_TRUE(state.serialSendQueue.empty());
    EXPECT_FALSE(line.closed);
}

TEST(SendDrainOverALine, AFrameWaitsWhileWhatWaitsInThePortDrainsButNotBehindABacklogThatStandsStill) {
    LinkState state;
    connect(state);
    MemoryLine line;
    SendDrain drain(250000);
    const Bytes frame = motionFrame(1);
    ASSERT_TRUE(state.serialSendQueue.push(frame.data(), frame.size(), MessageKind::Motion));

    // A controller that paused reads again: what waited in the port drains, and the frame waits for it
    // however long that takes.
    line.unsent = 20000;
    EXPECT_EQ(drain.drain(state, line), SendDrain::Result::MotionWaiting);
    for (int look = 0; look < 3; ++look) {
        std::this_thread::sleep_for(kDriverBacklogTrust + 1ms);
        line.unsent -= 500;
        EXPECT_EQ(drain.drain(state, line), SendDrain::Result::MotionWaiting) << "look " << look;
    }
    EXPECT_TRUE(line.writes.empty());

    // A count that stands still (a driver that never reports an empty queue, a controller that stopped
    // reading) stops holding the rig.
    std::this_thread::sleep_for(kDriverBacklogTrust + 1ms);
    EXPECT_EQ(drain.drain(state, line), SendDrain::Result::Empty);
    EXPECT_EQ(line.writes, std::vector<Bytes>{onTheWire(frame)});
}

TEST(SendDrainOverALine, ALineThatFailsIsClosedAndTheHostMessageWaitsWholeForTheNextConnection) {
    LinkState state;
    connect(state);
    MemoryLine line;
    line.failFromWrite = 1;
    SendDrain drain(250000);
    const Bytes a = hostMessage(1), b = hostMessage(2);
    ASSERT_TRUE(state.serialSendQueue.push(a.data(), a.size()));
    ASSERT_TRUE(state.serialSendQueue.push(b.data(), b.size()));

    EXPECT_EQ(drain.drain(state, line), SendDrain::Result::PortLost);
    EXPECT_TRUE(line.closed);
    EXPECT_FALSE(state.portConnected.load());
    ASSERT_EQ(line.writes.size(), 1U);
    Message waiting;
    ASSERT_TRUE(state.serialSendQueue.front(waiting));
    EXPECT_EQ(Bytes(waiting.bytes.begin(), waiting.bytes.begin() + waiting.size), b)
        << "the message the line failed on stays queued, unchanged";

    // A motion frame the line failed on is stale by the next connection: it is not kept.
    state.serialSendQueue.clear();
    const Bytes frame = motionFrame(3);
    ASSERT_TRUE(state.serialSendQueue.push(frame.data(), frame.size(), MessageKind::Motion));
    state.portConnected.store(true);
    SendDrain fresh(250000);
    EXPECT_EQ(fresh.drain(state, line), SendDrain::Result::PortLost);
    EXPECT_TRUE(state.serialSendQueue.empty());
}

}  // namespace
}  // namespace tarvelmond
