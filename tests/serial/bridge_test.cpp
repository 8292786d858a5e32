// The host's messages and the bridge loop on a host thread, connected to a virtual controller on a
// pseudo-terminal.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <optional>
#include <random>
#include <string>

#include "serial/link_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Kind = ReceivedMessage::Kind;

// Acceptance and routing at the level of the link's flags and queues; no loop runs.
TEST(HostMessages, EndAtTheirFirstTerminatorWithin512BytesAndGoToTheLiveLink) {
    resetLink();
    LinkState& s = link();
    const Bytes m = {'a', 'b', 'c', 0x0A, 0x0D, 'x', 0x0A, 0x0D};
    EXPECT_EQ(sendMessagemmf(m.data()), -1) << "no loop runs";
    s.udpListener.running.store(true);
    Bytes tooLong(600, 0x41);
    tooLong[511] = 0x0A;
    tooLong[512] = 0x0D;
    EXPECT_EQ(sendMessagemmf(tooLong.data()), -1);
    EXPECT_EQ(sendMessagemmf(m.data()), 1);  // nobody answered yet: both links get it
    Message sent;
    ASSERT_TRUE(s.udpSendQueue.front(sent));
    EXPECT_EQ(Bytes(sent.bytes.begin(), sent.bytes.begin() + sent.size), Bytes(m.begin(), m.begin() + 5));

    s.serialControllerPresent.store(true);  // serial live: only its queue, refused when full
    while (s.serialSendQueue.size() < s.serialSendQueue.capacity())
        ASSERT_EQ(sendMessagemmf(m.data()), 1);
    EXPECT_EQ(sendMessagemmf(m.data()), -1);
    EXPECT_EQ(s.udpSendQueue.size(), 1u);

    resetLink();
}

Bytes motionFrame(float value) {
    Bytes frame(36, 0);
    frame[0] = frame[1] = 0xFC;
    std::memcpy(frame.data() + 2, &value, sizeof value);
    frame[34] = 0x0A;
    frame[35] = 0x0D;
    return frame;
}

// While no link takes the send queues, motion frames pile up in neither: each queue keeps the newest.
// A host message or start-up command takes the place of a motion frame when a queue is full, and is
// refused (-1) only when no queue took it.
TEST(HostMessages, MotionFramesNeverCrowdOutACommandAndWaitOnlyAsTheNewest) {
    resetLink();
    LinkState& s = link();
    s.bridgeRunning.store(true);  // a bridge runs, but no port is connected
    for (int tick = 1; tick <= 1000; ++tick) {
        ASSERT_EQ(sendMotionFrame(motionFrame(static_cast<float>(tick)).data(), 36), 1);
        ASSERT_EQ(sendMotionFrame(motionFrame(static_cast<float>(tick)).data(), 36), 1);
    }
    for (MessageQueue* queue : {&s.serialSendQueue, &s.udpSendQueue}) {
        Message waiting;
        ASSERT_TRUE(queue->front(waiting));
        EXPECT_EQ(queue->size(), 1u);
        EXPECT_EQ(Bytes(waiting.bytes.begin(), waiting.bytes.begin() + waiting.size), motionFrame(1000.0f));
    }

    const auto command = [](std::uint8_t i) { return Bytes{0xF9, 0xF9, 0x08, 0x00, i, 0x00, 0x0A, 0x0D}; };
    for (std::uint8_t i = 0; i < 150; ++i)
        ASSERT_EQ(sendMessagemmf(command(i).data()), 1) << int{i};
    EXPECT_EQ(s.serialSendQueue.motionCount(), 0u) << "the frame made room";
    EXPECT_EQ(sendMessagemmf(command(150).data()), -1) << "no queue took it: the host is told";
    EXPECT_EQ(sendMotionFrame(motionFrame(1.0f).data(), 36), -1);
    EXPECT_EQ(routeOutgoing(command(200).data(), 8, MessageKind::Connection), 1) << "start-up commands fit";
    EXPECT_EQ(routeOutgoing(command(201).data(), 8, MessageKind::Connection), 1);
    Message first;
    ASSERT_TRUE(s.serialSendQueue.front(first));
    EXPECT_EQ(Bytes(first.bytes.begin(), first.bytes.begin() + first.size), command(0)) << "in order";

    // A live link's full queue: the oldest frame gives way to the host's message.
    resetLink();
    s.bridgeRunning.store(true);
    s.bridgeActive.store(true);
    s.portConnected.store(true);
    s.serialControllerPresent.store(true);
    for (int frame = 0; frame < 150; ++frame)
        ASSERT_EQ(sendMotionFrame(motionFrame(static_cast<float>(frame)).data(), 36), 1);
    EXPECT_EQ(sendMotionFrame(motionFrame(150.0f).data(), 36), -1);
    EXPECT_EQ(sendMessagemmf(command(1).data()), 1);
    EXPECT_EQ(s.serialSendQueue.motionCount(), 149u);
    ASSERT_TRUE(s.serialSendQueue.front(first));
    EXPECT_EQ(Bytes(first.bytes.begin(), first.bytes.begin() + first.size), motionFrame(1.0f));
    resetLink();
}

// A virtual controller as the standard port, connected by the bridge; holding what came after that.
class Bridge : public ::testing::Test {
  protected:
    void SetUp() override {
        resetLink();
        ASSERT_TRUE(controller->ready());
        ports.emplace().add(controller->comName());
        link().standardPortNumber.store(controller->comNumber());
        bridge.emplace();
        EXPECT_EQ(printedBy([] { EXPECT_EQ(connectStandardPort(), 1); }), "opened....id correct. \n");
        ASSERT_TRUE(eventually([&] { return controller->identificationRequests() == 2; }));  // both arrived
        controller->clear();
    }
    void TearDown() override {
        bridge.reset();
        resetLink();
    }
    std::size_t copiesOf(const Bytes& message) const {
        const auto all = controller->received();
        return static_cast<std::size_t>(std::count_if(
            all.begin(), all.end(), [&](const ReceivedMessage& m) { return m.bytes == message; }));
    }
    std::optional<VirtualController> controller{std::in_place, uniqueComNumber(0)};
    std::optional<FakePorts> ports;
    std::optional<BridgeThread> bridge;
};

TEST_F(Bridge, HostMessagesLeaveInOrderWithTheirCrcInPlaceOfTheTerminator) {
    const Bytes bare = {0x0A, 0x0D};
    const Bytes text = {0xF8, 0xF8, 'a', 'b', 'c', 0x0A, 0x0D};
    const Bytes command = {0xF9, 0xF9, 0x06, 0x00, 0x10, 0x20, 0x0A, 0x0D};
    for (const Bytes* m : {&bare, &text, &command})
        ASSERT_EQ(sendMessagemmf(m->data()), 1);
    Bytes expected = {0x00, 0x00};  // the CRC of nothing
    for (const Bytes& wire : {controllerFrame(0xF8, {'a', 'b', 'c'}, true),
                              controllerFrame(0xF9, {0x06, 0x00, 0x10, 0x20}, true)})
        expected.insert(expected.end(), wire.begin(), wire.end());
    ASSERT_TRUE(eventually([&] { return controller->rawBytes().size() >= expected.size(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(controller->rawBytes(), expected);
}

// An automatic message goes as it is; alone it repeats on eleven passes, and the next one replaces it.
TEST_F(Bridge, AutomaticMessagesRepeatUntilReplaced) {
    const Bytes first = {0xF9, 0xF9, 0x0A, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    const Bytes second = {0xF9, 0xF9, 0x0B, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    const Bytes third = {0xF9, 0xF9, 0x0C, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    link().autoRepeatCount.store(1);
    ASSERT_EQ(autoMessagemmf(first.data()), 1);
    ASSERT_TRUE(eventually([] { return link().autoSendQueue.empty(); }));
    ASSERT_EQ(autoMessagemmf(second.data()), 1);
    ASSERT_EQ(autoMessagemmf(third.data()), 1);
    ASSERT_TRUE(eventually([] { return link().autoSendQueue.empty(); }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(copiesOf(first), 11u);
    EXPECT_EQ(copiesOf(second), 1u);
    EXPECT_GE(copiesOf(third), 11u);
}

TEST_F(Bridge, ControllerFramesReachTheHostWithTheirTerminator) {
    Bytes statusPayload(34, 0x21);
    statusPayload[8] = 0x0A;  // bytes 10 and 11 of the frame
    statusPayload[9] = 0x0D;
    const Bytes status = controllerFrame(0xF8, statusPayload, true);
    Bytes stream = {0x00, 0x42};  // line noise first
    stream.insert(stream.end(), status.begin(), status.end());
    controller->send(stream);

    // First comes the answer to the second identification request, which the handshake left unread.
    ASSERT_TRUE(eventually([] { return link().serialReceiveQueue.size() == 2; }));
    EXPECT_TRUE(link().serialControllerPresent.load());
    unsigned char buffer[512];
    ASSERT_EQ(readMessagemmf(buffer), 8);
    EXPECT_EQ(Bytes(buffer, buffer + 8), (Bytes{0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D}));
    ASSERT_EQ(readMessagemmf(buffer), 12) << "up to the first 0x0A 0x0D";
    EXPECT_EQ(Bytes(buffer, buffer + 12), Bytes(status.begin(), status.begin() + 12));
    EXPECT_EQ(newMessagemmf(), 0);
}

// A device that goes away while host messages wait: the port is closed, and the messages wait whole
// for the next connection instead of being thrown away.
TEST_F(Bridge, ALostPortIsClosedAndItsQueuedMessagesWaitForTheNextConnection) {
    // Hold the loop (without closing the port) while messages queue up and the device goes away.
    link().interfaceRunning.store(false);
    std::this_thread::sleep_for(150ms);
    std::vector<Bytes> messages;
    for (std::uint8_t i = 0; i < 5; ++i) {
        messages.push_back({0xF9, 0xF9, 0x07, 0x00, i, 0x00, 0x0A, 0x0D});
        ASSERT_EQ(sendMessagemmf(messages.back().data()), 1);
    }
    controller->unplug();
    bool closed = false;
    const std::string printed = printedBy([&] {
        link().interfaceRunning.store(true);
        closed = eventually([] { return !link().portConnected.load(); });
    });
    ASSERT_TRUE(closed);
    EXPECT_NE(printed.find(" Serial Exception Error: "), std::string::npos) << printed;
    EXPECT_FALSE(serialPort().isOpen());
    EXPECT_EQ(link().serialSendQueue.size(), messages.size()) << "no message is lost with the port";

    controller->plugIn();
    printedBy([] { ASSERT_EQ(connectStandardPort(), 1); });
    ASSERT_TRUE(controller->waitFor([&](const auto& all) { return all.size() >= messages.size() + 2; }, 5s));
    std::vector<Bytes> arrived;
    for (const ReceivedMessage& m : controller->received())
        if (m.kind == Kind::Command && m.bytes[2] == 0x07) arrived.push_back(m.bytes);
    ASSERT_EQ(arrived.size(), messages.size());
    for (std::size_t i = 0; i < arrived.size(); ++i)
        EXPECT_EQ(arrived[i], controllerFrame(0xF9, {0x07, 0x00, static_cast<std::uint8_t>(i), 0x00}, true));
}

// Host threads send while the bridge drains, the controller talks back and another thread reads the
// frames; a pause and resume cut across. Run under ThreadSanitizer: no data race on queues or port.
TEST_F(Bridge, ConcurrentHostCallsDuringPauseAndResumeAreRaceFree) {
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (std::uint8_t t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            const Bytes m = {t, 0x0A, 0x0D};
            unsigned char buffer[512];
            while (!done.load()) {
                sendMessagemmf(m.data());
                autoMessagemmf(m.data());
                readMessagemmf(buffer);
                newMessagemmf();
                isConnected();
                std::this_thread::sleep_for(1ms);
            }
        });
    }
    printedBy([&] {
        for (int round = 0; round < 3; ++round) {
            controller->send(controllerFrame(0xF9, {0x05, 0x00, 0x00, 0x00}, true));
            std::this_thread::sleep_for(40ms);
            pauseInterface();
            EXPECT_FALSE(serialPort().isOpen()) << "a paused bridge holds no port";
            std::this_thread::sleep_for(20ms);
            resumeInterface();
        }
        done.store(true);
        for (auto& t : threads)
            t.join();
    });
    EXPECT_TRUE(link().portConnected.load());
}

// Host messages of 500 bytes until the controller, which no longer reads, leaves the bridge waiting
// in a write: the queue stops draining.
bool fillUntilAWriteWaits(VirtualController& controller) {
    controller.pauseReading(true);
    Bytes message(500, 0x55);
    message[0] = message[1] = 0xF8;
    message[498] = 0x0A;
    message[499] = 0x0D;
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    std::size_t before = 0;
    while (std::chrono::steady_clock::now() < giveUp) {
        while (sendMessagemmf(message.data()) == 1 && link().serialSendQueue.size() < 20) {
        }
        before = link().serialSendQueue.size();
        std::this_thread::sleep_for(300ms);
        if (before > 0 && link().serialSendQueue.size() == before) return true;
    }
    return false;
}

template <typename Call>
std::chrono::milliseconds durationOf(Call&& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// A controller that stops reading leaves a write waiting for the port's 10 s write time-out; neither
// a pause nor a stop waits that out, and the message cut short does not count as sent.
TEST_F(Bridge, APauseOrAStopCutsShortAWriteThatWaitsOnAControllerThatStoppedReading) {
    ASSERT_TRUE(fillUntilAWriteWaits(*controller));
    const std::size_t waiting = link().serialSendQueue.size();
    const auto pause = durationOf([] { printedBy([] { EXPECT_EQ(pauseInterface(), 1); }); });
    EXPECT_LT(pause, 2s) << "pauseInterface waited out the write";
    EXPECT_FALSE(serialPort().isOpen());
    EXPECT_EQ(link().serialSendQueue.size(), waiting)
        << "the message cut short waits for the next connection";

    controller->pauseReading(false);
    controller->clear();
    link().interfaceRunning.store(true);
    printedBy([] { ASSERT_EQ(connectStandardPort(), 1); });
    ASSERT_TRUE(eventually([] { return link().serialSendQueue.empty(); }));
    ASSERT_TRUE(fillUntilAWriteWaits(*controller));
    const auto stop = durationOf([&] { printedBy([&] { bridge.reset(); }); });
    EXPECT_LT(stop, 2s) << "stopKestrovane_Thread waited out the write";

    // What the stop cut short is over: the host can connect the port by itself again.
    controller->pauseReading(false);
    std::this_thread::sleep_for(300ms);  // what waited in the port drains
    resetLink();
    ports.emplace().add(controller->comName());
    link().standardPortNumber.store(controller->comNumber());
    EXPECT_EQ(printedBy([] { EXPECT_EQ(connectStandardPort(), 1); }), "opened....id correct. \n");
}

// A start that takes over from a stop still waiting leaves the loop running as before: its writes may
// wait for a slow controller again, instead of giving up as the stop had asked.
TEST_F(Bridge, AStartThatOvertakesAStopLetsTheLoopsWritesWaitAgain) {
    link().interfaceRunning.store(false);  // the loop rests 100 ms per pass, the port stays open
    std::this_thread::sleep_for(150ms);
    std::thread stopper([] { stopBridge(); });
    std::this_thread::sleep_for(20ms);
    std::thread starter([] { runBridge(); });  // returns at once: the running loop goes on
    starter.join();
    stopper.join();
    ASSERT_TRUE(link().bridgeActive.load());

    const std::string printed = printedBy([&] {
        link().interfaceRunning.store(true);
        ASSERT_TRUE(fillUntilAWriteWaits(*controller));
        std::this_thread::sleep_for(100ms);
        controller->pauseReading(false);
        ASSERT_TRUE(eventually([] { return link().serialSendQueue.empty(); }));
    });
    EXPECT_EQ(printed.find("Serial Exception"), std::string::npos) << printed;
    EXPECT_TRUE(link().portConnected.load());
}

// Motion frames that piled up while the loop was held up go as the newest only: the older ones, sent
// in one burst, would play the rig's last moments over again at the wire's speed.
TEST_F(Bridge, MotionFramesThatPiledUpGoAsTheNewestOnly) {
    link().interfaceRunning.store(false);  // the loop rests, the port stays open
    std::this_thread::sleep_for(150ms);
    for (int frame = 1; frame <= 40; ++frame)
        ASSERT_TRUE(link().serialSendQueue.push(motionFrame(static_cast<float>(frame)).data(), 36,
                                                MessageKind::Motion));
    link().interfaceRunning.store(true);
    ASSERT_TRUE(eventually([] { return link().serialSendQueue.empty(); }));
    std::this_thread::sleep_for(50ms);
    std::vector<float> arrived;
    for (const ReceivedMessage& m : controller->received())
        if (m.kind == Kind::Output) arrived.push_back(decodeOutputFrame(m.bytes).axes[0]);
    ASSERT_FALSE(arrived.empty());
    EXPECT_LE(arrived.size(), 2u);
    EXPECT_EQ(arrived.back(), 40.0f);
}

// Two 36-byte frames every 2 ms are more than a 250000-baud UART carries (25000 bytes/s): older motion
// frames and copies give way instead of filling the queue, while the host messages of several threads
// all arrive, each thread's in order.
TEST_F(Bridge, AtTheWireRateMotionFramesGiveWayAndHostMessagesAllArrive) {
    controller->setReadRate(25000);
    constexpr std::uint8_t kThreads = 3;
    constexpr int kMessagesEach = 40;
    std::atomic<int> finished{0};
    std::vector<std::thread> hosts;
    for (std::uint8_t t = 0; t < kThreads; ++t) {
        hosts.emplace_back([&, t] {
            for (std::uint8_t i = 0; i < kMessagesEach; ++i) {
                const Bytes message = {0xF9, 0xF9, static_cast<std::uint8_t>(0x30 + t), 0x00, i, 0x00,
                                       0x0A, 0x0D};
                while (sendMessagemmf(message.data()) != 1)  // a full queue refuses; the host tries again
                    std::this_thread::sleep_for(1ms);
                std::this_thread::sleep_for(40ms);
            }
            finished.fetch_add(1);
        });
    }
    float tick = 0.0f;
    // The game-source thread's part: two frames per tick until the hosts are done, the ticks 2 ms apart
    // give or take 0.6 ms (a tick's read and work take longer some times than others).
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (auto next = std::chrono::steady_clock::now(); finished.load() < kThreads;
         std::this_thread::sleep_until(next += std::chrono::microseconds(1400 + random() % 1201))) {
        Bytes frame(36, 0);
        frame[0] = frame[1] = 0xFC;
        std::memcpy(frame.data() + 2, &++tick, 4);
        frame[8] = 0x0A;  // a value's bytes that read as a terminator: the frame still goes whole
        frame[9] = 0x0D;
        sendMotionFrame(frame.data(), frame.size());
        sendMotionFrame(frame.data(), frame.size());
    }
    for (auto& h : hosts)
        h.join();
    ASSERT_TRUE(controller->waitFor(
        [&](const auto& all) {
            return std::any_of(all.begin(), all.end(), [&](const ReceivedMessage& m) {
                return m.kind == Kind::Output && decodeOutputFrame(m.bytes).axes[0] == tick;
            });
        },
        5s));

    std::array<std::vector<int>, kThreads> arrived;
    float previous = 0.0f;
    bool ordered = true;
    int frames = 0;
    int copies = 0;
    for (const ReceivedMessage& m : controller->received()) {
        if (m.kind == Kind::Output) {
            ordered = ordered && decodeOutputFrame(m.bytes).axes[0] >= previous;
            ++frames;
            if (decodeOutputFrame(m.bytes).axes[0] == previous) ++copies;
            previous = decodeOutputFrame(m.bytes).axes[0];
        } else if (m.kind == Kind::Command && m.bytes[2] >= 0x30 && m.bytes[2] < 0x30 + kThreads) {
            arrived[m.bytes[2] - 0x30].push_back(m.bytes[4]);
        }
    }
    EXPECT_TRUE(ordered) << "frames never arrive out of order";
    EXPECT_EQ(controller->crcFailures(), 0);
    std::vector<int> all(kMessagesEach);
    std::iota(all.begin(), all.end(), 0);
    for (const auto& thread : arrived)
        EXPECT_EQ(thread, all) << "no host message lost or reordered";
    EXPECT_GT(link().supersededMotionFrames.load(), 0u) << "older frames gave way";
    // A tick's second copy would hold the wire when the next tick's frame comes: it gives way (it
    // still goes when the bridge, held up, finds the wire idle).
    EXPECT_LT(copies, frames / 20) << frames << " frames";
}

}  // namespace
}  // namespace tarvelmond::test
