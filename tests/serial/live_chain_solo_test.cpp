// The whole chain through the product loaded by name, as a host drives it: the bridge on a host
// thread, the game-source thread, X-Plane played by the game emulator, and a virtual controller on a
// pseudo-terminal that the library's own automatic scan finds (its USB identity declared in
// TARVELMOND_PORT_IDENTITY, since a pseudo-terminal has none). What counts is what reaches the
// controller: whole frames with their CRC, the axes clamped to the rig limits, the belt big-endian,
// and every host message, in order, among the frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <numeric>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "game_packets.h"
#include "platform/process_info.h"
#include "serial/link_test_support.h"
#include "support/product_library.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

// The host's side of the session; whatever a test left running stops with it.
struct HostSession {
    ~HostSession() {
        game.stop();
        exported<void()>("stopGamesource_Thread")();
        exported<void()>("stopKestrovane_Thread")();
        if (bridge.joinable()) bridge.join();
    }
    // The bridge on a host thread, and the library's own scan connecting the controller.
    bool bridgeConnectsTheController() {
        declarePortIdentity(controller.comNumber());
        bridge = std::thread([] { exported<int()>("startKestrovane_Thread")(); });
        exported<int()>("enableAutoconnect")();
        return eventually([] { return exported<int()>("isConnected")() == 1; }, 30s);
    }

    VirtualController controller{uniqueComNumber(6)};
    emulator::UdpGameSender game{4321};  // X-Plane's port
    std::thread bridge;
};

TEST(LiveChain, FramesArriveWholeWithAxesClampedToTheRigLimitsAndTheBeltBigEndian) {
    HostSession session;
    VirtualController& controller = session.controller;
    ASSERT_TRUE(controller.ready());
    ASSERT_TRUE(session.bridgeConnectsTheController())
        << "the scan did not connect the controller on " << controller.comName();

    // The six axes and the belt pass their input through (VALUE), clamped to the rig's limits.
    constexpr int kAir = 0;
    for (int channel : {0, 1, 2, 3, 4, 5, 10, 14})
        ASSERT_EQ(exported<int(int, int, const char*)>("setcheckFilterstring")(kAir, channel, "VALUE"), 1);
    for (int axis = 0; axis < 6; ++axis) {
        exported<void(int, double, double)>("SetInputDofLimitValue")(axis, -1000.0, 1000.0);
        exported<void(int, double, double)>("SetRigDofLimitValue")(axis, axis == 3 ? -15.0 : -1.0,
                                                                   axis == 3 ? 15.0 : 1.0);
    }
    for (int channel : {6, 7, 8, 9, 11, 12, 13})
        exported<void(int, int, bool)>("setActiveAxis")(kAir, channel, false);
    exported<void(int, int, double)>("setBelt_Mix")(kAir, 5, 1.0);  // the belt follows the pitch rate

    // A lateral value whose little-endian bytes hold 0x0A 0x0D, and a belt value whose big-endian
    // bytes are 0A 0D 00 00: both would end a host message early. The heading keeps the data moving.
    const float lateral = std::bit_cast<float>(0x3F0D0A00U);
    const float belt = 168624128.0f;  // 0x0A0D0000
    // X-Plane's attitude (pitch, roll, true heading) and group 135: lateral g, vertical g × 10,
    // longitudinal g with X-Plane's sign, roll, pitch and yaw rate (negated).
    session.game.startGenerated([=](std::uint64_t n) {
        return emulator::xplanePacket({{17, {0.0f, 0.0f, static_cast<float>(n % 360)}},
                                       {135, {lateral, 5.0f, 3.0f, -0.5f, belt, -50.0f}}});
    });
    exported<void()>("startGamesource_Thread")();
    exported<void(int)>("setMotionsystemready")(1);
    ASSERT_TRUE(eventually([] { return exported<int()>("getGameID")() == 0; }, 20s))
        << "X-Plane not detected";
    ASSERT_TRUE(eventually([] { return exported<double()>("getTransitionStatus")() >= 100.0; }, 20s));
    std::this_thread::sleep_for(50ms);  // frames built during the fade are on their way meanwhile
    const std::size_t from = controller.received().size();
    ASSERT_TRUE(controller.waitFor([&](const auto& all) { return all.size() >= from + 100; }, 20s))
        << "the rig keeps moving";
    const auto messages = controller.receivedFrom(from);

    // The controller takes a frame as output only when it starts FC FC and ends in its CRC.
    const std::array<float, 6> axes = {lateral, -1.0f, 0.5f, 15.0f, -0.5f, 1.0f};
    std::size_t frames = 0;
    std::size_t matching = 0;
    for (const ReceivedMessage& m : messages) {
        if (m.kind != ReceivedMessage::Kind::Output) continue;
        const OutputFrame frame = decodeOutputFrame(m.bytes);
        ++frames;
        matching += frame.axes == axes && frame.belt == 0x0A0D0000u ? 1 : 0;
    }
    ASSERT_GT(frames, 0u);
    EXPECT_EQ(matching, frames) << "every frame after the fade carries the clamped values";
    EXPECT_TRUE(std::none_of(messages.begin(), messages.end(), [](const ReceivedMessage& m) {
        return m.kind == ReceivedMessage::Kind::Other;
    })) << "no cut or stray bytes";
    EXPECT_EQ(controller.crcFailures(), 0);

    // Two host threads talk to the controller through the export while the rig moves: every message
    // arrives, in each thread's order, with its CRC in place of the terminator, among the frames.
    constexpr std::uint8_t kThreads = 2;
    constexpr std::uint8_t kMessagesEach = 25;
    const std::size_t talkFrom = controller.received().size();
    std::vector<std::thread> hosts;
    for (std::uint8_t t = 0; t < kThreads; ++t) {
        hosts.emplace_back([t] {
            for (std::uint8_t i = 0; i < kMessagesEach; ++i) {
                const std::array<unsigned char, 8> message = {
                    0xF9, 0xF9, static_cast<unsigned char>(0x40 + t), 0x00, i, 0x00, 0x0A, 0x0D};
                while (exported<int(const unsigned char*)>("sendMessagemmf")(message.data()) != 1)
                    std::this_thread::sleep_for(1ms);  // a full queue refuses; the host tries again
                std::this_thread::sleep_for(4ms);
            }
        });
    }
    for (auto& h : hosts)
        h.join();
    const auto isHostMessage = [](const ReceivedMessage& m) {
        return m.kind == ReceivedMessage::Kind::Command && m.bytes[2] >= 0x40 && m.bytes[2] < 0x40 + kThreads;
    };
    ASSERT_TRUE(controller.waitFor(
        [&](const auto& all) {
            return std::count_if(all.begin() + static_cast<std::ptrdiff_t>(talkFrom), all.end(),
                                 isHostMessage) >= kThreads * kMessagesEach;
        },
        10s));
    std::array<std::vector<int>, kThreads> arrived;
    std::size_t framesAmong = 0;
    for (const ReceivedMessage& m : controller.receivedFrom(talkFrom)) {
        if (isHostMessage(m)) {
            EXPECT_TRUE(m.crcForm);
            arrived[m.bytes[2] - 0x40].push_back(m.bytes[4]);
        } else if (m.kind == ReceivedMessage::Kind::Output && arrived[0].size() + arrived[1].size() > 0 &&
                   arrived[0].size() + arrived[1].size() < kThreads * kMessagesEach) {
            ++framesAmong;
        }
    }
    std::vector<int> inOrder(kMessagesEach);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    for (const auto& thread : arrived)
        EXPECT_EQ(thread, inOrder) << "no host message lost or reordered";
    EXPECT_GT(framesAmong, 10u) << "motion frames went on while the hosts talked";
    EXPECT_EQ(controller.crcFailures(), 0);
}

using Clock = std::chrono::steady_clock;

bool isCommand(const ReceivedMessage& m, std::uint8_t code) {
    return m.kind == ReceivedMessage::Kind::Command && m.bytes[2] == code;
}

// The controller's cable is pulled while the rig moves and the host goes on talking, and plugged in
// again seconds later. The library's scan finds it again; the commands queued meanwhile (the host's,
// then the connection's two start-up commands) arrive whole and in order, and the first frame after
// them is built after the plugging in: no frame that waited for the link through the gap.
TEST(LiveChain, AfterTheControllerIsPluggedInAgainTheWaitingCommandsArriveAndThenAFreshFrame) {
    std::mt19937 random(testing::UnitTest::GetInstance()->random_seed());
    HostSession session;
    VirtualController& controller = session.controller;
    ASSERT_TRUE(controller.ready());
    ASSERT_TRUE(session.bridgeConnectsTheController());

    // The lateral axis carries the time the game sent its datagram, in seconds from `base`.
    constexpr int kAir = 0;
    ASSERT_EQ(exported<int(int, int, const char*)>("setcheckFilterstring")(kAir, 0, "VALUE"), 1);
    exported<void(int, double, double)>("SetInputDofLimitValue")(0, -1000.0, 1000.0);
    exported<void(int, double, double)>("SetRigDofLimitValue")(0, -1000.0, 1000.0);
    const Clock::time_point base = Clock::now();
    const auto secondsSinceBase = [base](Clock::time_point t) {
        return std::chrono::duration<float>(t - base).count();
    };
    session.game.startGenerated([=](std::uint64_t n) {
        return emulator::xplanePacket({{17, {0.0f, 0.0f, static_cast<float>(n % 360)}},
                                       {135, {secondsSinceBase(Clock::now()), 10.0f}}});
    });
    exported<void()>("startGamesource_Thread")();
    exported<void(int)>("setMotionsystemready")(1);
    ASSERT_TRUE(eventually([] { return exported<int()>("getGameID")() == 0; }, 20s));
    // After the start-up fade the frames carry the game's values as they are.
    ASSERT_TRUE(eventually([] { return exported<double()>("getTransitionStatus")() >= 100.0; }, 20s));
    const std::size_t moving = controller.received().size();
    ASSERT_TRUE(controller.waitFor([&](const auto& all) { return all.size() >= moving + 50; }, 20s));

    controller.unplug();
    const auto send = exported<int(const unsigned char*)>("sendMessagemmf");
    std::vector<Bytes> hostMessages;
    const auto gap = std::chrono::milliseconds(1500 + random() % 1500);
    for (const auto until = Clock::now() + gap; Clock::now() < until;) {
        const auto i = static_cast<std::uint8_t>(hostMessages.size());
        hostMessages.push_back({0xF9, 0xF9, 0x50, 0x00, i, 0x00, 0x0A, 0x0D});
        EXPECT_EQ(send(hostMessages.back().data()), 1) << "queued for the controller";
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 180));
    }
    const std::size_t before = controller.received().size();
    const float plugged = secondsSinceBase(Clock::now());
    controller.plugIn();
    ASSERT_TRUE(controller.waitFor(
        [&](const auto& all) {
            return std::count_if(all.begin() + static_cast<std::ptrdiff_t>(before), all.end(),
                                 [](const auto& m) { return m.kind == ReceivedMessage::Kind::Output; }) >= 20;
        },
        30s))
        << "the scan connects the controller again and frames follow";

    std::vector<Bytes> expected;  // after the identification requests
    for (const Bytes& m : hostMessages)
        expected.push_back(controllerFrame(0xF9, {m.begin() + 2, m.begin() + 6}, true));
    expected.push_back(controllerFrame(0xF9, {0x04, 0x00, 0x01, 0x00}, true));
    expected.push_back(controllerFrame(0xF9, {0x02, 0x00, 0x01, 0x00}, true));
    std::vector<Bytes> commands;
    std::optional<float> firstFrame;
    for (const ReceivedMessage& m : controller.receivedFrom(before)) {
        EXPECT_NE(m.kind, ReceivedMessage::Kind::Other) << "nothing cut or stray";
        if (m.kind == ReceivedMessage::Kind::Output) {
            EXPECT_EQ(commands.size(), expected.size()) << "a frame before the waiting commands";
            if (!firstFrame) firstFrame = decodeOutputFrame(m.bytes).axes[0];
        } else if (!isCommand(m, 0x01)) {
            commands.push_back(m.bytes);
        }
    }
    EXPECT_EQ(commands, expected) << "the host's messages, then the start-up commands, whole and in order";
    ASSERT_TRUE(firstFrame.has_value());
    EXPECT_GE(*firstFrame, plugged) << "the first frame was built before the controller came back";
    EXPECT_EQ(controller.crcFailures(), 0);
}

// Host threads start and stop the bridge in any order; a start issued while a stop still waits for
// the loop (here in the middle of a port scan) wins. The bridge ends as the last call asked, every
// startKestrovane_Thread returns once a stop is the last call, and nothing stays open.
TEST(LiveChain, BridgeStartsAndStopsFromAnyHostThreadsEndAsTheLastCallAsked) {
    const auto start = exported<int()>("startKestrovane_Thread");
    const auto stop = exported<void()>("stopKestrovane_Thread");
    // A message is taken while a bridge runs. Nothing sends the queue here, so the test asks sparingly:
    // the queue holds 150 of the host's messages.
    const Bytes probe = {0xF9, 0xF9, 0x60, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    const auto bridgeTakesMessages = [&] {
        return exported<int(const unsigned char*)>("sendMessagemmf")(probe.data()) == 1;
    };
    const auto soon = [](const std::function<bool()>& condition) {
        for (int look = 0; look < 1000; ++look, std::this_thread::sleep_for(10ms))
            if (condition()) return true;
        return false;
    };
    exported<int()>("enableAutoconnect")();  // no controller to find: the loop scans for ever
    std::vector<std::future<int>> starts;
    const auto startOnAHostThread = [&] { starts.push_back(std::async(std::launch::async, start)); };
    const auto allStartsReturn = [&] {
        for (auto& s : starts) {
            if (s.wait_for(10s) != std::future_status::ready) {
                ADD_FAILURE() << "startKestrovane_Thread never returns after the last stop";
                std::fflush(stdout);
                std::_Exit(1);  // the loop runs on; the program cannot end otherwise
            }
            EXPECT_EQ(s.get(), 1);
        }
        starts.clear();
    };

    std::optional<int> resourcesBefore;  // once the library has set up what it keeps
    for (int attempt = 0; attempt < 5; ++attempt) {
        startOnAHostThread();
        ASSERT_TRUE(soon(bridgeTakesMessages));
        std::this_thread::sleep_for(30ms);  // inside a scan
        std::thread stopping(stop);
        ASSERT_TRUE(soon([&] { return !bridgeTakesMessages(); })) << "the stop has begun";
        startOnAHostThread();
        stopping.join();
        std::this_thread::sleep_for(200ms);
        EXPECT_TRUE(bridgeTakesMessages()) << "the start came last";
        EXPECT_EQ(std::count_if(starts.begin(), starts.end(),
                                [](auto& s) { return s.wait_for(0s) != std::future_status::ready; }),
                  1)
            << "one loop runs";
        stop();
        allStartsReturn();
        if (!resourcesBefore) resourcesBefore = platform::openResourceCount();
    }

    std::mt19937 random(testing::UnitTest::GetInstance()->random_seed());
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::thread> hosts;
        for (int h = 0; h < 3; ++h) {
            hosts.emplace_back([&, seed = random()] {
                std::mt19937 own(seed);
                for (int call = 0; call < 6; ++call) {
                    std::this_thread::sleep_for(std::chrono::microseconds(own() % 20000));
                    if (own() % 2 == 0) {
                        stop();
                    }
                }
            });
        }
        for (int call = 0; call < 6; ++call) {
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
            startOnAHostThread();
        }
        for (auto& h : hosts)
            h.join();
        std::this_thread::sleep_for(300ms);  // every start has entered the library: the next call is last
        if (random() % 2 == 0) {
            startOnAHostThread();
            std::this_thread::sleep_for(200ms);
            EXPECT_TRUE(soon(bridgeTakesMessages)) << "the last call was a start";
            stop();
        } else {
            stop();
            EXPECT_FALSE(bridgeTakesMessages()) << "the last call was a stop";
        }
        allStartsReturn();
    }
    // Every attempt and round after the count runs at least one loop, each holding two shared blocks:
    // blocks or ports left behind would pile up, two or more for each of the 24 or more loops. (On
    // Windows the thread library keeps a few handles for threads it may reuse; under Wine on a busy
    // machine 8 were seen.)
    EXPECT_LT(platform::openResourceCount() - *resourcesBefore, 16)
        << "the bridge's blocks and ports are released";
    exported<int()>("disableAutoconnect")();
}

}  // namespace
}  // namespace tarvelmond::test
