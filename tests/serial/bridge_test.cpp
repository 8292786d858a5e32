// The bridge loop on a host thread, connected to a virtual controller on a pseudo-terminal.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>

#include "peers/virtual_controller.h"
#include "platform/shared_memory.h"
#include "serial/crc16.h"
#include "serial/link_test_support.h"
#include "serial/port_discovery.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class Bridge : public ::testing::Test {
  protected:
    void SetUp() override {
        resetLink();
        controller = std::make_unique<VirtualController>(uniqueComNumber(0));
        ASSERT_TRUE(controller->ready());
        ports.add(controller->comName());
        link().portSystem.store(&ports);
        link().standardPortNumber.store(controller->comNumber());
    }
    void TearDown() override {
        bridge.reset();
        resetLink();
    }

    void startConnected() {
        bridge = std::make_unique<BridgeThread>();
        ASSERT_EQ(connectQuietly(), 1);
        controller->clear();
    }

    // What the controller received after the handshake, as one byte string.
    Bytes receivedBytes() const { return controller->rawBytes(); }

    static Bytes withCrc(Bytes message) {
        const std::uint16_t crc = crc16Arc(message.data(), message.size() - 2);
        message[message.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
        message[message.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
        return message;
    }

    FakePorts ports;
    std::unique_ptr<VirtualController> controller;
    std::unique_ptr<BridgeThread> bridge;
};

TEST_F(Bridge, HostMessagesLeaveInOrderWithTheirCrcInPlaceOfTheTerminator) {
    startConnected();
    const Bytes abc = {'a', 'b', 'c', 0x0A, 0x0D};
    const Bytes bare = {0x0A, 0x0D};
    const Bytes command = {0xF9, 0xF9, 0x06, 0x00, 0x10, 0x20, 0x0A, 0x0D};
    ASSERT_EQ(sendMessagemmf(abc.data()), 1);
    ASSERT_EQ(sendMessagemmf(bare.data()), 1);
    ASSERT_EQ(sendMessagemmf(command.data()), 1);
    Bytes expected = withCrc(abc);
    expected.push_back(0x00);  // the CRC of nothing
    expected.push_back(0x00);
    const Bytes commandOnWire = withCrc(command);
    expected.insert(expected.end(), commandOnWire.begin(), commandOnWire.end());
    ASSERT_TRUE(eventually([&] { return receivedBytes().size() >= expected.size(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(receivedBytes(), expected);
    EXPECT_TRUE(link().serialSendQueue.empty());
}

TEST_F(Bridge, ALoneAutomaticMessageRepeatsOnElevenPassesWithoutCrc) {
    startConnected();
    link().autoRepeatCount.store(1);
    const Bytes keepAlive = {0xF9, 0xF9, 0x09, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    ASSERT_EQ(autoMessagemmf(keepAlive.data()), 1);
    ASSERT_TRUE(eventually([] { return link().autoSendQueue.empty(); }));
    std::this_thread::sleep_for(50ms);
    const auto received = controller->received();
    const auto copies = std::count_if(received.begin(), received.end(),
                                      [&](const ReceivedMessage& m) { return m.bytes == keepAlive; });
    EXPECT_EQ(copies, 11);
}

TEST_F(Bridge, TheNextAutomaticMessageReplacesTheOneThatRepeats) {
    startConnected();
    const Bytes first = {0xF9, 0xF9, 0x0A, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    const Bytes second = {0xF9, 0xF9, 0x0B, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    link().bridgeRunning.store(true);
    ASSERT_EQ(autoMessagemmf(first.data()), 1);
    ASSERT_EQ(autoMessagemmf(second.data()), 1);
    ASSERT_TRUE(eventually([] { return link().autoSendQueue.empty(); }));
    std::this_thread::sleep_for(50ms);
    const auto received = controller->received();
    EXPECT_EQ(
        std::count_if(received.begin(), received.end(), [&](const auto& m) { return m.bytes == first; }), 1);
    EXPECT_GE(
        std::count_if(received.begin(), received.end(), [&](const auto& m) { return m.bytes == second; }),
        11);
}

TEST_F(Bridge, ControllerFramesReachTheHostWithTheirTerminator) {
    startConnected();
    Bytes statusPayload(34, 0x21);
    statusPayload[8] = 0x0A;  // bytes 10 and 11 of the frame
    statusPayload[9] = 0x0D;
    const Bytes status = controllerFrame(0xF8, statusPayload, true);
    const Bytes version = controllerFrame(0xF9, {0x02, 0x00, 0x10, 0x03}, true);
    Bytes largePayload(461);
    for (std::size_t i = 0; i < largePayload.size(); ++i)
        largePayload[i] = static_cast<std::uint8_t>(0x30 + i % 7);  // no 0x0A inside
    const Bytes large = controllerFrame(0xFA, largePayload, false);
    const Bytes crcOnly = controllerFrame(0xFB, Bytes(74, 0x61), true);
    Bytes stream = {0x00, 0x42};  // line noise first
    for (const Bytes* frame : {&status, &version, &large, &crcOnly})
        stream.insert(stream.end(), frame->begin(), frame->end());
    controller->send(stream);

    // First comes the answer to the second identification request, which the handshake left unread.
    ASSERT_TRUE(eventually([] { return newMessagemmf() == 1 && link().serialReceiveQueue.size() == 5; }));
    EXPECT_TRUE(link().serialControllerPresent.load());
    unsigned char buffer[512];
    ASSERT_EQ(readMessagemmf(buffer), 8);
    EXPECT_EQ(Bytes(buffer, buffer + 8), (Bytes{0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D}));
    EXPECT_EQ(readMessagemmf(buffer), 12) << "up to the first 0x0A 0x0D";
    EXPECT_EQ(Bytes(buffer, buffer + 12), Bytes(status.begin(), status.begin() + 12));
    ASSERT_EQ(readMessagemmf(buffer), 8);
    EXPECT_EQ(Bytes(buffer, buffer + 8), (Bytes{0xF9, 0xF9, 0x02, 0x00, 0x10, 0x03, 0x0A, 0x0D}));
    ASSERT_EQ(readMessagemmf(buffer), 465);
    EXPECT_EQ(Bytes(buffer, buffer + 465), large);
    ASSERT_EQ(readMessagemmf(buffer), 78);
    Bytes crcOnlyAsRead = crcOnly;
    crcOnlyAsRead[76] = 0x0A;
    crcOnlyAsRead[77] = 0x0D;
    EXPECT_EQ(Bytes(buffer, buffer + 78), crcOnlyAsRead);
    EXPECT_EQ(newMessagemmf(), 0);
}

TEST_F(Bridge, ALostPortIsClosedAndItsQueuedMessagesDropped) {
    startConnected();
    // Hold the loop (without closing the port) while messages queue up and the device goes away.
    link().interfaceRunning.store(false);
    std::this_thread::sleep_for(150ms);
    const Bytes m = {0x01, 0x02, 0x0A, 0x0D};
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(sendMessagemmf(m.data()), 1);
    controller.reset();
    bool closed = false;
    bool dropped = false;
    const std::string printed = printedBy([&] {
        link().interfaceRunning.store(true);
        closed = eventually([] { return !link().portConnected.load(); });
        dropped = eventually([] { return link().serialSendQueue.empty(); });
        std::this_thread::sleep_for(20ms);
    });
    ASSERT_TRUE(closed);
    EXPECT_TRUE(dropped) << "every queued message fails on the closed port and is removed";
    std::size_t reports = 0;
    for (auto at = printed.find(" Serial Exception Error: "); at != std::string::npos;
         at = printed.find(" Serial Exception Error: ", at + 1)) {
        ++reports;
    }
    EXPECT_GE(reports, 5u) << printed;
    EXPECT_FALSE(serialPort().isOpen());
}

TEST_F(Bridge, PauseClosesThePortAndStopEndsAPausedLoopPromptly) {
    startConnected();
    EXPECT_EQ(pauseInterface(), 1);
    EXPECT_FALSE(link().portConnected.load());
    EXPECT_FALSE(serialPort().isOpen());
    const Bytes m = {0x05, 0x0A, 0x0D};
    sendMessagemmf(m.data());
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(controller->rawBytes().empty()) << "a paused bridge touches no port";

    EXPECT_EQ(resumeInterface(), 1);
    EXPECT_TRUE(link().portConnected.load());
    EXPECT_EQ(pauseInterface(), 1);
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bridge->stop(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(link().bridgeStopped.load());
}

TEST_F(Bridge, RunsTwoMillisecondPassesAndHoldsTheHostBlocksWhileRunning) {
    EXPECT_FALSE(platform::sharedMemoryExists("Tarvelmond_tx"));
    startConnected();
    EXPECT_TRUE(platform::sharedMemoryExists("Tarvelmond_tx"));
    EXPECT_TRUE(platform::sharedMemoryExists("Tarvelmond_rx"));
    std::this_thread::sleep_for(100ms);
    EXPECT_GE(getOutputTimeFrame(), 1.9);
    EXPECT_EQ(isConnected(), 1);
    bridge->stop();
    EXPECT_EQ(isConnected(), 0);
    EXPECT_FALSE(platform::sharedMemoryExists("Tarvelmond_tx"));
    EXPECT_FALSE(serialPort().isOpen());
}

TEST_F(Bridge, ASecondLoopReturnsAtOnce) {
    startConnected();
    EXPECT_EQ(startKestrovane_Thread(), 1);
    EXPECT_TRUE(link().bridgeActive.load()) << "the first loop goes on";
}

// Host threads send while the bridge drains, the controller talks back and another thread reads the
// frames; a pause and resume cut across. Run under ThreadSanitizer: no data race on queues or port.
TEST_F(Bridge, ConcurrentHostCallsDuringPauseAndResumeAreRaceFree) {
    startConnected();
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            const Bytes m = {static_cast<std::uint8_t>(t), 0x0A, 0x0D};
            while (!done.load()) {
                sendMessagemmf(m.data());
                autoMessagemmf(m.data());
                std::this_thread::sleep_for(1ms);
            }
        });
    }
    threads.emplace_back([&] {
        unsigned char buffer[512];
        while (!done.load()) {
            readMessagemmf(buffer);
            newMessagemmf();
            isConnected();
            std::this_thread::sleep_for(1ms);
        }
    });
    printedBy([&] {
        for (int round = 0; round < 3; ++round) {
            controller->send(controllerFrame(0xF9, {0x05, 0x00, 0x00, 0x00}, true));
            std::this_thread::sleep_for(40ms);
            pauseInterface();
            std::this_thread::sleep_for(20ms);
            resumeInterface();
        }
        done.store(true);
        for (auto& t : threads)
            t.join();
    });
    EXPECT_TRUE(link().portConnected.load());
    EXPECT_GT(controller->rawBytes().size(), 0u);
}

}  // namespace
}  // namespace tarvelmond::test
