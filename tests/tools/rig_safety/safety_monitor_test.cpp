// The safety monitor judges what reaches a virtual controller. Here the test plays the library: it
// opens the controller's port as the library does and writes what a faulty library would, and the
// monitor must say so; what a sound library writes must pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "peers/safety_monitor.h"
#include "peers/virtual_controller.h"
#include "platform/serial_device.h"
#include "serial/crc16.h"
#include "support/eventually.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Clock = MonitorClock;
using Bytes = std::vector<std::uint8_t>;

constexpr double kSpan = 20.0;  // axes from -10 to 10

Bytes withCrc(Bytes bytes) {
    const std::uint16_t crc = crc16Arc(bytes.data(), bytes.size());
    bytes.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(crc >> 8));
    return bytes;
}

// The output frame as the library puts it on the wire.
Bytes outputFrame(float value) {
    Bytes frame = {0xFC, 0xFC};
    for (int axis = 0; axis < 6; ++axis) {
        const auto bits = std::bit_cast<std::uint32_t>(value);
        for (int b = 0; b < 4; ++b)
            frame.push_back(static_cast<std::uint8_t>(bits >> (8 * b)));
    }
    frame.resize(34, 0);
    return withCrc(frame);
}

Bytes command(std::uint8_t code, std::uint16_t value) {
    return withCrc({0xF9, 0xF9, code, 0x00, static_cast<std::uint8_t>(value & 0xFF),
                    static_cast<std::uint8_t>(value >> 8)});
}

SafetyMonitor::Axes rigAxes() {
    SafetyMonitor::Axes axes;
    axes.fill({-10.0f, 10.0f, kSpan, 0.0});
    return axes;
}

// The library's end of the controller's port, and the controller with its monitor at the other.
class MonitoredLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(controller.ready());
        controller.watch(&monitor);
        ASSERT_TRUE(libraryEnd.open(controller.comName())) << controller.comName();
    }
    void TearDown() override { controller.watch(nullptr); }

    void write(const Bytes& bytes) {
        std::size_t written = 0;
        ASSERT_TRUE(libraryEnd.write(bytes.data(), bytes.size(), written));
        ASSERT_EQ(written, bytes.size());
        bytesWritten += written;
    }
    // Frames every 2 ms, as the library's ticks send them, from `from` to `to` in `frames` steps.
    void ramp(float from, float to, int frames) {
        for (int i = 1; i <= frames; ++i) {
            write(outputFrame(from + (to - from) * static_cast<float>(i) / static_cast<float>(frames)));
            std::this_thread::sleep_for(2ms);
        }
    }
    // Until the controller has read and judged everything written (it judges as it reads).
    void settle() {
        std::this_thread::sleep_for(100ms);
        ASSERT_TRUE(eventually([&] { return controller.rawBytes().size() >= bytesWritten; }));
    }
    std::vector<std::string> rules() {
        settle();
        monitor.finish();
        std::vector<std::string> found;
        for (const Violation& v : monitor.violations())
            found.push_back(v.rule);
        return found;
    }
    static bool has(const std::vector<std::string>& rules, const std::string& rule) {
        return std::find(rules.begin(), rules.end(), rule) != rules.end();
    }

    // A full port read at the wire rate would take longer; these tests fill it only partly.
    static constexpr double kPortDrainMs = 400.0;
    SafetyMonitor monitor{rigAxes(), SafetyTiming{.portDrainMs = kPortDrainMs}, HostStreams{0x40, 1},
                          Clock::now()};
    VirtualController controller{uniqueComNumber(1)};
    platform::SerialDevice libraryEnd;
    std::size_t bytesWritten = 0;
};

TEST_F(MonitoredLink, AFadeAtItsOwnPaceAndHostMessagesInOrderPass) {
    ramp(0.0f, 1.0f, 200);  // 20 of span over 4 s is 0.01 per 2 ms; this is slower
    for (std::uint16_t sequence = 0; sequence < 5; ++sequence) {
        const auto at = Clock::now();
        write(command(0x40, sequence));
        monitor.hostMessageSent(0, sequence, true, at);
    }
    ramp(1.0f, 1.0f, 20);
    EXPECT_TRUE(rules().empty());
    EXPECT_EQ(monitor.hostMessagesArrived(), 5u);
}

TEST_F(MonitoredLink, AStepFasterThanTheFadeIsAJump) {
    ramp(0.0f, 0.0f, 20);
    ramp(0.0f, 3.0f, 1);  // 15 % of the span in one tick
    ramp(3.0f, 3.0f, 20);
    EXPECT_TRUE(has(rules(), "no jump"));
}

// A fade that skips ahead after a pause: however long the pause, the output goes on from where it was.
TEST_F(MonitoredLink, AJumpAfterAPauseIsAJumpWhileTheLinkStayedUp) {
    ramp(0.0f, 0.0f, 20);
    std::this_thread::sleep_for(1500ms);
    ramp(5.0f, 5.0f, 2);
    EXPECT_TRUE(has(rules(), "no jump"));
}

TEST_F(MonitoredLink, AcrossAnUnpluggedLinkTheNextFramesAreOfAnyAge) {
    ramp(0.0f, 0.0f, 20);
    ASSERT_TRUE(eventually([&] { return monitor.framesChecked() >= 20; })) << "all arrived before the break";
    monitor.linkDown(Clock::now());
    std::this_thread::sleep_for(200ms);
    monitor.linkUp(Clock::now());
    ramp(5.0f, 5.0f, 20);
    EXPECT_TRUE(rules().empty());
}

TEST_F(MonitoredLink, ACutFrameANumberThatIsNoneAndAnAxisBeyondTheLimitsAreCaught) {
    const Bytes whole = outputFrame(1.0f);
    write(Bytes(whole.begin(), whole.begin() + 20));  // cut
    write(outputFrame(std::numeric_limits<float>::quiet_NaN()));
    write(outputFrame(12.0f));
    const auto found = rules();
    EXPECT_TRUE(has(found, "whole"));
    EXPECT_TRUE(has(found, "finite"));
    EXPECT_TRUE(has(found, "limits"));
}

TEST_F(MonitoredLink, AMissingTwiceSentOrUnsealedHostMessageIsCaught) {
    for (std::uint16_t sequence : {0, 1, 3, 3}) {
        write(command(0x40, sequence));
        std::this_thread::sleep_for(2ms);
    }
    write({0xF9, 0xF9, 0x40, 0x00, 0x04, 0x00, 0x0A, 0x0D});  // 0x0A 0x0D where the CRC belongs
    const auto at = Clock::now() - 1s;
    for (std::uint16_t sequence = 0; sequence <= 4; ++sequence)
        monitor.hostMessageSent(0, sequence, true, at);
    const auto found = rules();
    EXPECT_EQ(std::count(found.begin(), found.end(), "lost command"), 2) << "2 missing, the second 3 twice";
    EXPECT_TRUE(has(found, "whole"));
}

TEST_F(MonitoredLink, MessagesLostWithAnUnpluggedControllerAreExcused) {
    const auto at = Clock::now();
    monitor.hostMessageSent(0, 0, true, at);
    monitor.excuseLosses(at - 100ms, at + 100ms);
    EXPECT_TRUE(rules().empty());
}

TEST_F(MonitoredLink, AFrameGapWhileTheRigRunsAndAFrameAfterAStopAreCaught) {
    const auto met = Clock::now();
    ramp(0.0f, 0.0f, 10);
    std::this_thread::sleep_for(120ms);
    ramp(0.0f, 0.0f, 10);
    const auto stopped = Clock::now();
    monitor.expectFrames(met, stopped, 1000.0);
    std::this_thread::sleep_for(100ms);  // more than the 50 ms a frame may still be on its way
    ramp(0.0f, 0.0f, 1);
    settle();
    monitor.expectQuiet(stopped, Clock::now());
    const auto found = rules();
    EXPECT_TRUE(has(found, "no stalled tick"));
    EXPECT_TRUE(has(found, "no frame after stop"));
    EXPECT_GE(monitor.loadSensitiveCount(), 1u);
    EXPECT_GE(monitor.longestGapMs(), 100.0) << "the gap the library left, not only a late tick of this test";
}

TEST_F(MonitoredLink, OfAGapOnlyTheTimeInWhichTheProcessCouldRunIsTheLibrarys) {
    const auto met = Clock::now();
    const auto pause = [&] {
        ramp(0.0f, 0.0f, 5);
        const auto from = Clock::now();
        std::this_thread::sleep_for(120ms);
        return std::pair{from, Clock::now()};
    };
    const auto [stoodFrom, stoodTo] = pause();
    monitor.machineStood(stoodFrom - 10ms, stoodTo, 10.0 + 120.0);  // a span ending with the whole pause
    const auto [partlyFrom, partlyTo] = pause();
    monitor.machineStood(partlyFrom, partlyTo + 120ms, 60.0);  // 30 ms of the pause, spread evenly
    ramp(0.0f, 0.0f, 5);
    monitor.expectFrames(met, Clock::now(), 1000.0);
    const auto found = rules();
    EXPECT_EQ(std::count(found.begin(), found.end(), "no stalled tick"), 1)
        << ::testing::PrintToString(found);
    EXPECT_EQ(monitor.machineGapCount(), 1u);
}

TEST_F(MonitoredLink, AFrameMayWaitBehindTheCommandsQueuedBeforeItForTheirWireTimeOnly) {
    // 200 commands of 8 bytes take 64 ms of a 250000-baud wire: a frame 70 ms after the last one is
    // within the bound, one 140 ms after is not.
    const auto met = Clock::now();
    for (const auto pause : {70ms, 140ms}) {
        ramp(0.0f, 0.0f, 5);
        const auto end = Clock::now() + pause;
        for (std::uint16_t i = 0; i < 200; ++i)
            write(command(0x30, i));  // not one of the host streams the monitor follows
        std::this_thread::sleep_until(end);
    }
    ramp(0.0f, 0.0f, 5);
    monitor.expectFrames(met, Clock::now(), 1000.0);
    const auto found = rules();
    EXPECT_EQ(std::count(found.begin(), found.end(), "no stalled tick"), 1)
        << ::testing::PrintToString(found);
}

TEST_F(MonitoredLink, WhatWaitedInAStalledPortMayArriveAfterTheStopButNothingAfterIt) {
    // The controller stops reading; frames the library writes before its stop wait in the port.
    controller.pauseReading(true);
    std::this_thread::sleep_for(20ms);
    ramp(0.0f, 0.0f, 20);
    const auto stopped = Clock::now();
    std::this_thread::sleep_for(150ms);
    const auto resumed = Clock::now();
    monitor.backlogFrom(resumed);
    controller.pauseReading(false);
    settle();
    monitor.expectQuiet(stopped, Clock::now());
    EXPECT_TRUE(rules().empty()) << "the backlog is the stop's own frames";

    // A frame written well after the backlog drained is one after the stop.
    std::this_thread::sleep_for(150ms);
    ramp(0.0f, 0.0f, 1);
    settle();
    monitor.expectQuiet(stopped, Clock::now());
    EXPECT_TRUE(has(rules(), "no frame after stop"));
}

// A controller that reads at the wire rate and resumes after a pause leaves a standing backlog: the
// library sends a little slower than the wire carries, so what waited drains slowly, and frames written
// before the stop go on arriving well after it, for as long as the port's content takes to read. A
// library that goes on sending after its stop goes on for longer, backlog or not.
TEST_F(MonitoredLink, TheFirstFramesOfAStartMayComeAWhileAfterTheBacklogAheadOfThem) {
    // What a stopped library left in a stalled port arrives as the controller reads again, just as
    // a new start puts everything in place; the new start's first frame comes later than a gap
    // allows (finding the game takes a while), but within the time a start may take.
    controller.pauseReading(true);
    std::this_thread::sleep_for(20ms);
    ramp(0.0f, 0.0f, 20);
    const auto met = Clock::now();
    monitor.backlogFrom(met);
    controller.pauseReading(false);
    std::this_thread::sleep_for(40ms);
    ramp(0.0f, 0.0f, 10);
    monitor.expectFrames(met, Clock::now(), 1000.0);
    EXPECT_TRUE(rules().empty()) << ::testing::PrintToString(rules());

    // The same for a frame a stopped run sent just before the new start came into place.
    const auto stopped = Clock::now();
    const auto restarted = Clock::now();
    ramp(0.0f, 0.0f, 1);
    std::this_thread::sleep_for(100ms);
    ramp(0.0f, 0.0f, 10);
    monitor.expectFrames(restarted, Clock::now(), 1000.0, stopped);
    EXPECT_TRUE(rules().empty()) << ::testing::PrintToString(rules());

    // Once they came, they keep coming.
    std::this_thread::sleep_for(40ms);
    ramp(0.0f, 0.0f, 10);
    monitor.expectFrames(restarted, Clock::now(), 1000.0, stopped);
    const auto found = rules();
    EXPECT_EQ(std::count(found.begin(), found.end(), "no stalled tick"), 1)
        << ::testing::PrintToString(found);
}

TEST_F(MonitoredLink, AStandingBacklogMayOutlastTheStopByAFullPortsReadingButNoLonger) {
    constexpr std::uint32_t kWireBytesPerSecond = 25000;
    const auto standingBacklog = [&](int framesAfterTheStop) {
        controller.setReadRate(kWireBytesPerSecond);
        controller.pauseReading(true);
        std::this_thread::sleep_for(20ms);
        for (int i = 0; i < 150; ++i)  // 5.4 kB: 216 ms at the wire rate
            write(outputFrame(0.0f));
        monitor.backlogFrom(Clock::now());
        controller.pauseReading(false);
        ramp(0.0f, 0.0f, 50);  // 100 ms more of ticks, while the backlog stands
        const auto stopped = Clock::now();
        ramp(0.0f, 0.0f, framesAfterTheStop);
        settle();
        monitor.expectQuiet(stopped, Clock::now());
    };
    standingBacklog(0);
    EXPECT_TRUE(rules().empty()) << "the frames the port held at the stop";
    standingBacklog(300);  // 600 ms, beyond the port's 400
    EXPECT_TRUE(has(rules(), "no frame after stop"));
}

// The library gave up a write half-way while the controller did not read: the head of that message
// ends what waited in the port. One such cut per resumption is the controller's CRC check's business;
// a cut anywhere else is not.
TEST_F(MonitoredLink, OneCutMessageMayEndTheBacklogOfAStalledPortButNoOther) {
    const Bytes whole = outputFrame(0.0f);
    const Bytes cut(whole.begin(), whole.begin() + 20);
    controller.pauseReading(true);
    std::this_thread::sleep_for(20ms);
    ramp(0.0f, 0.0f, 10);
    write(cut);
    monitor.linkDown(Clock::now());
    std::this_thread::sleep_for(50ms);
    monitor.backlogFrom(Clock::now());
    controller.pauseReading(false);
    settle();
    monitor.linkUp(Clock::now());
    ramp(0.0f, 0.0f, 10);
    EXPECT_FALSE(has(rules(), "whole")) << "the cut that ended the backlog";

    const int failuresBefore = controller.crcFailures();
    write(cut);
    ramp(0.0f, 0.0f, 10);
    ASSERT_TRUE(eventually([&] { return controller.crcFailures() > failuresBefore; }));
    EXPECT_TRUE(has(rules(), "whole")) << "a second cut";
}

// The game reports values far beyond the input limits in a span, so the live pose leaps between
// frames. Frames built then may reach the controller late, in the burst after a pause that began in
// the span (a busy machine held the link up); they are the span's frames all the same. Leaps in a
// burst after a pause that began later are jumps.
TEST_F(MonitoredLink, LeapsTheGameMadeStayExcusedWhenTheirFramesArriveLateInABurst) {
    const auto leaping = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            write(outputFrame(i % 2 == 0 ? 0.0f : 5.0f));
            std::this_thread::sleep_for(2ms);
        }
    };
    ramp(0.0f, 0.0f, 10);
    const auto from = Clock::now();
    const auto to = from + 150ms;  // as the runner does, the span is known before it begins
    monitor.excuseLiveLeaps(from, to);
    leaping(4);
    std::this_thread::sleep_for(10ms);
    controller.pauseReading(true);
    std::this_thread::sleep_for(10ms);
    leaping(21);
    std::this_thread::sleep_until(to);
    ramp(0.0f, 0.0f, 10);  // built after the span, arriving with the burst
    std::this_thread::sleep_for(200ms);
    controller.pauseReading(false);
    EXPECT_FALSE(has(rules(), "no jump"));

    std::this_thread::sleep_for(100ms);
    controller.pauseReading(true);
    std::this_thread::sleep_for(10ms);
    leaping(6);
    std::this_thread::sleep_for(200ms);
    controller.pauseReading(false);
    EXPECT_TRUE(has(rules(), "no jump"));
}

TEST_F(MonitoredLink, TheStartUpCommandsMustFollowAConnection) {
    write({0xF9, 0xF9, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x0D});  // the library's identification request
    ramp(0.0f, 0.0f, SafetyTiming{}.startupCommandFrames + 5);
    EXPECT_TRUE(has(rules(), "lost command"));
}

}  // namespace
}  // namespace tarvelmond::test
