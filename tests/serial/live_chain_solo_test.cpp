// The whole chain through the product loaded by name, as a host drives it: the bridge on a host
// thread, the game-source thread, X-Plane played by the game emulator, and a virtual controller on a
// pseudo-terminal that the library's own automatic scan finds (its USB identity declared in
// TARVELMOND_PORT_IDENTITY, since a pseudo-terminal has none). What counts is what reaches the
// controller: whole frames with their CRC, the axes clamped to the rig limits, the belt big-endian,
// and every host message, in order, among the motion frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "game_packets.h"
#include "peers/virtual_controller.h"
#include "serial/crc16.h"
#include "support/product_library.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int kXplanePort = 4321;
constexpr int kAirProfile = 0;

// The exported functions as a host resolves them.
struct Host {
    Host() {
        auto& library = productLibrary();
        startGameSource = library.function<void (*)()>("startGamesource_Thread");
        stopGameSource = library.function<void (*)()>("stopGamesource_Thread");
        ready = library.function<void (*)(int)>("setMotionsystemready");
        filter = library.function<int (*)(int, int, const char*)>("setcheckFilterstring");
        activeAxis = library.function<void (*)(int, int, bool)>("setActiveAxis");
        beltMix = library.function<void (*)(int, int, double)>("setBelt_Mix");
        rigLimit = library.function<void (*)(int, double, double)>("SetRigDofLimitValue");
        inputLimit = library.function<void (*)(int, double, double)>("SetInputDofLimitValue");
        fadePercent = library.function<double (*)()>("getTransitionStatus");
        gameId = library.function<int (*)()>("getGameID");
        startBridge = library.function<int (*)()>("startKestrovane_Thread");
        stopBridge = library.function<void (*)()>("stopKestrovane_Thread");
        send = library.function<int (*)(const unsigned char*)>("sendMessagemmf");
        connected = library.function<int (*)()>("isConnected");
        autoconnect = library.function<int (*)()>("enableAutoconnect");
    }
    void (*startGameSource)();
    void (*stopGameSource)();
    void (*ready)(int);
    int (*filter)(int, int, const char*);
    void (*activeAxis)(int, int, bool);
    void (*beltMix)(int, int, double);
    void (*rigLimit)(int, double, double);
    void (*inputLimit)(int, double, double);
    double (*fadePercent)();
    int (*gameId)();
    int (*startBridge)();
    void (*stopBridge)();
    int (*send)(const unsigned char*);
    int (*connected)();
    int (*autoconnect)();
};

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// X-Plane's attitude group (pitch, roll, true heading) and its accelerations-and-rates group 135
// (lateral g, vertical g × 10, longitudinal g with X-Plane's sign, roll, pitch and yaw rate).
struct XplaneState {
    float lateral = 0, verticalTimesTen = 0, backward = 0;
    float rollRate = 0, pitchRate = 0, yawRateNegated = 0;
    float heading = 0;
};

emulator::Bytes xplaneDatagram(const XplaneState& s) {
    return emulator::xplanePacket(
        {{17, {0.0f, 0.0f, s.heading}},
         {135, {s.lateral, s.verticalTimesTen, s.backward, s.rollRate, s.pitchRate, s.yawRateNegated}}});
}

std::vector<ReceivedMessage> ofKind(const std::vector<ReceivedMessage>& messages,
                                    ReceivedMessage::Kind kind) {
    std::vector<ReceivedMessage> selected;
    std::copy_if(messages.begin(), messages.end(), std::back_inserter(selected),
                 [&](const ReceivedMessage& m) { return m.kind == kind; });
    return selected;
}

class LiveChain : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        host = std::make_unique<Host>();
        controller = std::make_unique<VirtualController>(uniqueComNumber(6));
        ASSERT_TRUE(controller->ready());
        declarePortIdentity(controller->comNumber());
        bridge = std::thread([] { host->startBridge(); });
        host->autoconnect();
        ASSERT_TRUE(eventually([] { return host->connected() == 1; }, 30s))
            << "the scan did not connect the controller on " << controller->comName();
        game = std::make_unique<emulator::UdpGameSender>(kXplanePort);
    }

    static void TearDownTestSuite() {
        if (game) game->stop();
        if (host) {
            host->stopGameSource();
            host->stopBridge();
        }
        if (bridge.joinable()) bridge.join();
        game.reset();
        controller.reset();
        host.reset();
    }

    void TearDown() override {
        host->ready(0);
        host->stopGameSource();
        game->stop();
    }

    // Only the channels a test names are shaped (VALUE passes the input through); the others keep
    // whatever an earlier test installed, so each test sets every channel it reads.
    static void passThrough(std::initializer_list<int> channels) {
        for (int channel : channels)
            ASSERT_EQ(host->filter(kAirProfile, channel, "VALUE"), 1);
    }

    // Plays X-Plane, connects it, lets the rig move and waits out the start-up fade.
    static void playAndMove(std::function<emulator::Bytes(std::uint64_t)> datagram) {
        game->startGenerated(std::move(datagram));
        host->startGameSource();
        host->ready(1);
        ASSERT_TRUE(eventually([] { return host->gameId() == 0; }, 20s)) << "X-Plane was not detected";
        ASSERT_TRUE(eventually([] { return host->fadePercent() >= 100.0; }, 20s));
        std::this_thread::sleep_for(50ms);  // frames built during the fade are on their way meanwhile
    }

    static inline std::unique_ptr<Host> host;
    static inline std::unique_ptr<VirtualController> controller;
    static inline std::unique_ptr<emulator::UdpGameSender> game;
    static inline std::thread bridge;
    static inline std::atomic<std::uint64_t> lastSent{0};
};

TEST_F(LiveChain, TheScanConnectsTheControllerAndItsTwoCommandsArriveWithTheirCrc) {
    const auto commands = ofKind(controller->received(), ReceivedMessage::Kind::Command);
    const Bytes first = {0xF9, 0xF9, 0x04, 0x00, 0x01, 0x00};
    const Bytes second = {0xF9, 0xF9, 0x02, 0x00, 0x01, 0x00};
    auto at = [&](const Bytes& head) {
        return std::find_if(commands.begin(), commands.end(), [&](const ReceivedMessage& m) {
            return m.crcForm && std::equal(head.begin(), head.end(), m.bytes.begin());
        });
    };
    ASSERT_NE(at(first), commands.end());
    ASSERT_NE(at(second), commands.end());
    EXPECT_LT(at(first), at(second));
    EXPECT_GE(controller->identificationRequests(), 1);
}

TEST_F(LiveChain, FramesArriveWholeWithAxesClampedToTheRigLimitsAndTheBeltBigEndian) {
    passThrough({0, 1, 2, 3, 4, 5, 10, 14});
    for (int channel : {6, 7, 8, 9, 11, 12, 13})
        host->activeAxis(kAirProfile, channel, false);
    for (int channel : {0, 1, 2, 3, 4, 5})
        host->inputLimit(channel, -1000.0, 1000.0);
    host->rigLimit(0, -1.0, 1.0);
    host->rigLimit(1, -1.0, 1.0);
    host->rigLimit(2, -1.0, 1.0);
    host->rigLimit(3, -15.0, 15.0);
    host->rigLimit(4, -10.0, 10.0);
    host->rigLimit(5, -20.0, 20.0);
    host->beltMix(kAirProfile, 5, 1.0);  // the belt follows the pitch rate alone

    // A lateral value whose little-endian bytes hold 0x0A 0x0D, and a belt value whose big-endian
    // bytes are 0A 0D 00 00: both would end a host message early.
    const float lateral = std::bit_cast<float>(0x3F0D0A00U);
    const float belt = 168624128.0f;  // 0x0A0D0000
    ASSERT_NO_FATAL_FAILURE(playAndMove([=](std::uint64_t n) {
        return xplaneDatagram({.lateral = lateral,
                               .verticalTimesTen = 5.0f,
                               .backward = 3.0f,
                               .rollRate = -7.0f,
                               .pitchRate = belt,
                               .yawRateNegated = -50.0f,
                               .heading = static_cast<float>(n % 360)});  // the data keeps moving
    }));
    const std::size_t from = controller->received().size();
    std::this_thread::sleep_for(300ms);
    const auto messages = controller->receivedFrom(from);
    const auto frames = ofKind(messages, ReceivedMessage::Kind::Output);
    ASSERT_GE(frames.size(), 100u) << "a 500 Hz loop sends two frames per tick";

    Bytes expected(36, 0x00);
    expected[0] = expected[1] = 0xFC;
    const std::array<float, 6> axes = {lateral, -1.0f, 0.5f, 15.0f, -7.0f, 20.0f};
    for (std::size_t k = 0; k < 6; ++k) {
        const auto bits = std::bit_cast<std::uint32_t>(axes[k]);
        for (std::size_t b = 0; b < 4; ++b)
            expected[2 + 4 * k + b] = static_cast<std::uint8_t>(bits >> (8 * b));
    }
    expected[26] = 0x0A;
    expected[27] = 0x0D;
    const std::uint16_t crc = crc16Arc(expected.data(), 34);
    expected[34] = static_cast<std::uint8_t>(crc & 0xFF);
    expected[35] = static_cast<std::uint8_t>(crc >> 8);

    std::size_t matching = 0;
    for (const ReceivedMessage& frame : frames)
        matching += frame.bytes == expected ? 1 : 0;
    EXPECT_EQ(matching, frames.size()) << "every frame after the fade carries the clamped values";
    EXPECT_TRUE(ofKind(messages, ReceivedMessage::Kind::Other).empty()) << "no cut or stray bytes";
    EXPECT_EQ(controller->crcFailures(), 0);
}

TEST_F(LiveChain, HostMessagesFromSeveralThreadsAllArriveInOrderAmongMotionFramesThatStayCurrent) {
    controller->setReadRate(25000);  // a UART at 250000 baud: less than two frames per tick fit
    passThrough({3});
    host->activeAxis(kAirProfile, 3, true);
    host->inputLimit(3, -1.0e7, 1.0e7);
    host->rigLimit(3, -1.0e7, 1.0e7);
    // The yaw axis counts the datagrams (yaw rate is the negated sixth value of group 135).
    ASSERT_NO_FATAL_FAILURE(playAndMove([](std::uint64_t n) {
        lastSent.store(n);
        return xplaneDatagram({.yawRateNegated = -static_cast<float>(n), .heading = 1.0f});
    }));
    const std::size_t from = controller->received().size();

    constexpr int kThreads = 3;
    constexpr int kMessagesEach = 120;
    std::atomic<int> refusals{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&, t] {
            for (int i = 0; i < kMessagesEach; ++i) {
                const unsigned char message[] = {0xF9,
                                                 0xF9,
                                                 static_cast<unsigned char>(0x30 + t),
                                                 0x00,
                                                 static_cast<unsigned char>(i),
                                                 0x00,
                                                 0x0A,
                                                 0x0D};
                while (host->send(message) != 1) {  // a full queue refuses; the host tries again
                    refusals.fetch_add(1);
                    std::this_thread::sleep_for(1ms);
                }
                std::this_thread::sleep_for(3ms);
            }
        });
    }
    for (std::thread& sender : senders)
        sender.join();
    game->stop();
    const float last = static_cast<float>(lastSent.load());
    ASSERT_TRUE(controller->waitFor(
        [&](const std::vector<ReceivedMessage>& all) {
            return !all.empty() && all.back().kind == ReceivedMessage::Kind::Output &&
                   decodeOutputFrame(all.back().bytes).axes[3] == last;
        },
        5s))
        << "the rig ends on the game's last datagram " << last << ", not behind it: the last frame has "
        << [&] {
               const auto all = ofKind(controller->received(), ReceivedMessage::Kind::Output);
               return all.empty() ? -1.0f : decodeOutputFrame(all.back().bytes).axes[3];
           }();
    controller->setReadRate(0);

    const auto messages = controller->receivedFrom(from);
    std::array<std::vector<int>, kThreads> arrived;
    std::size_t framesBetween = 0;
    bool hostStarted = false;
    for (const ReceivedMessage& m : messages) {
        if (m.kind == ReceivedMessage::Kind::Command && m.bytes[2] >= 0x30 && m.bytes[2] < 0x30 + kThreads) {
            EXPECT_TRUE(m.crcForm);
            arrived[m.bytes[2] - 0x30].push_back(m.bytes[4]);
            hostStarted = true;
        } else if (m.kind == ReceivedMessage::Kind::Output && hostStarted) {
            ++framesBetween;
        }
    }
    std::vector<int> all(kMessagesEach);
    for (int i = 0; i < kMessagesEach; ++i)
        all[static_cast<std::size_t>(i)] = i;
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(arrived[static_cast<std::size_t>(t)], all) << "thread " << t;
    EXPECT_GT(framesBetween, 100u) << "motion frames went on while the host talked";
    EXPECT_TRUE(ofKind(messages, ReceivedMessage::Kind::Other).empty());
    EXPECT_EQ(controller->crcFailures(), 0);

    float previous = -1.0f;
    std::size_t backwards = 0;
    for (const ReceivedMessage& m : ofKind(messages, ReceivedMessage::Kind::Output)) {
        const float count = decodeOutputFrame(m.bytes).axes[3];
        backwards += count < previous ? 1 : 0;
        previous = count;
    }
    EXPECT_EQ(backwards, 0u) << "motion frames arrive in the order they were built";
}

}  // namespace
}  // namespace tarvelmond::test
