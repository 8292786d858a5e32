// The link's two seams: as a frame sink it takes the output stage's frames only while a loop runs, and
// keeps just the newest while no controller line takes them; behind it, the send drain speaks to any
// controller line, here one in memory, with the wire rules the serial port gets.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "basics/frame_timer.h"
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

// The loops that send wait on their queue: a push from another thread wakes them, whenever it comes;
// without one the wait ends at its deadline, never before.
TEST(SendQueueWait, APushFromAnotherThreadAlwaysWakesTheWaiterAndNoneEndsTheWaitOnlyAtItsDeadline) {
    MessageQueue queue(150);
    const Bytes frame = motionFrame(1);
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 200; ++round) {
        const std::uint64_t seen = queue.pushCount();
        std::thread pusher([&, delay = std::chrono::microseconds(random() % 3000)] {
            std::this_thread::sleep_for(delay);
            queue.push(frame.data(), frame.size(), MessageKind::Motion);
        });
        EXPECT_TRUE(queue.waitForPush(seen, std::chrono::steady_clock::now() + 10s)) << "round " << round;
        pusher.join();
        queue.clear();
    }
    const std::uint64_t seen = queue.pushCount();
    for (const auto wait : {0us, 300us, 1500us}) {
        const auto until = std::chrono::steady_clock::now() + wait;
        EXPECT_FALSE(queue.waitForPush(seen, until));
        EXPECT_GE(std::chrono::steady_clock::now(), until);
    }
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

// Each tick queues its frame twice. At 250000 baud two frames take longer than a tick, so the copy gives
// way and the next tick's frame finds the wire free; on a line fast enough for both, both go. A frame
// that says something new is never dropped for this, nor is the first frame of a new connection.
TEST(SendDrainOverALine, ACopyOfTheLastFrameGoesOnlyIfTheWireCarriesItBeforeTheNextTick) {
    LinkState state;
    connect(state);
    const Bytes frame = motionFrame(1), next = motionFrame(2);
    const auto queueTwice = [&](const Bytes& bytes) {
        ASSERT_TRUE(state.serialSendQueue.push(bytes.data(), bytes.size(), MessageKind::Motion));
        ASSERT_TRUE(state.serialSendQueue.push(bytes.data(), bytes.size(), MessageKind::Motion));
    };

    MemoryLine slow;
    SendDrain wire(250000);
    queueTwice(frame);
    EXPECT_EQ(wire.drain(state, slow), SendDrain::Result::Empty) << "the copy gave way at once";
    EXPECT_EQ(slow.writes, std::vector<Bytes>{onTheWire(frame)});
    EXPECT_EQ(state.supersededMotionFrames.load(), 1U);

    // A new frame goes once the wire can take it.
    ASSERT_TRUE(state.serialSendQueue.push(next.data(), next.size(), MessageKind::Motion));
    wire.drain(state, slow);
    std::this_thread::sleep_for(3ms);
    EXPECT_EQ(wire.drain(state, slow), SendDrain::Result::Empty);
    EXPECT_EQ(slow.writes.back(), onTheWire(next));

    // A rig at rest sends the same frame every tick: it goes once a tick, on the free wire.
    std::this_thread::sleep_for(2ms);
    queueTwice(next);
    EXPECT_EQ(wire.drain(state, slow), SendDrain::Result::Empty);
    EXPECT_EQ(slow.writes.size(), 3U);

    // The first frame a new connection sends is no copy of what the last one carried.
    wire.newConnection();
    queueTwice(next);
    EXPECT_EQ(wire.drain(state, slow), SendDrain::Result::MotionWaiting) << "the wire is still busy";
    std::this_thread::sleep_for(2ms);
    EXPECT_EQ(wire.drain(state, slow), SendDrain::Result::Empty);
    EXPECT_EQ(slow.writes.size(), 4U);

    // A copy that waited past the next frame's time behind a long host message, with no newer frame
    // come, is the newest frame there is: it waits for the wire and goes.
    std::this_thread::sleep_for(3ms);
    Bytes longMessage(200, 0x55);
    longMessage[0] = longMessage[1] = 0xF9;
    longMessage[198] = 0x0A;
    longMessage[199] = 0x0D;
    ASSERT_TRUE(state.serialSendQueue.push(longMessage.data(), longMessage.size()));  // 8 ms on the wire
    ASSERT_TRUE(state.serialSendQueue.push(next.data(), next.size(), MessageKind::Motion));
    std::this_thread::sleep_for(kPacedPeriod + 100us);
    EXPECT_EQ(wire.drain(state, slow), SendDrain::Result::MotionWaiting);
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(wire.drain(state, slow), SendDrain::Result::Empty);
    EXPECT_EQ(slow.writes.back(), onTheWire(next));

    state.serialSendQueue.clear();
    MemoryLine fast;
    SendDrain quick(2'000'000);  // 36 bytes in 180 us
    queueTwice(frame);
    quick.drain(state, fast);  // the copy waits for the wire
    std::this_thread::sleep_for(1ms);
    EXPECT_EQ(quick.drain(state, fast), SendDrain::Result::Empty);
    EXPECT_EQ(fast.writes, (std::vector<Bytes>{onTheWire(frame), onTheWire(frame)}));
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
