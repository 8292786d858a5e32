// The output stage on an engine instance: the 36-byte frame, its way to the controller through the
// bridge, the motion-cancel pose as another process reads it, and the wind byte.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>

#include "engine/motion_tick.h"
#include "motion/output_stage.h"
#include "peers/virtual_controller.h"
#include "serial/link_test_support.h"
#include "serial/port_discovery.h"
#include "support/engine_fixture.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class OutputStage : public ::testing::Test {
  protected:
    void SetUp() override {
        resetLink();
        e->outputBlocked.store(false);
    }
    void TearDown() override { resetLink(); }

    void limits(double min, double max) {
        for (std::size_t k = 0; k < 6; ++k) {
            e->rigLimits[k].min.store(min);
            e->rigLimits[k].max.store(max);
        }
    }
    Bytes frame() {
        Bytes out(36);
        for (std::size_t i = 0; i < 36; ++i)
            out[i] = e->outputFrame[i];
        return out;
    }
    OutputFrame decoded() { return decodeOutputFrame(frame()); }

    EngineUnderTest e;
};

TEST_F(OutputStage, AxesAreClampedToTheRigLimitsInSinglePrecision) {
    e->finalCues[0] = 2.5;
    e->finalCues[1] = -3.0;
    e->finalCues[2] = 0.25;
    sendOutputFrame(*e);
    EXPECT_EQ(decoded().axes, (std::array<float, 6>{0, 0, 0, 0, 0, 0})) << "default limits {0, 0}";

    limits(-1.0, 1.0);
    e->finalCues[3] = 1.0000000001;  // equal to the limit in single precision
    e->finalCues[4] = std::numeric_limits<double>::quiet_NaN();
    sendOutputFrame(*e);
    const OutputFrame f = decoded();
    EXPECT_EQ(f.axes[0], 1.0f);
    EXPECT_EQ(f.axes[1], -1.0f);
    EXPECT_EQ(f.axes[2], 0.25f);
    EXPECT_EQ(f.axes[3], 1.0f);
    EXPECT_EQ(f.axes[4], 1.0f) << "NaN compares false with min and goes to the smaller of max and NaN";
    EXPECT_TRUE(f.zeroTail);
    const Bytes bytes = frame();
    EXPECT_EQ(bytes[0], 0xFC);
    EXPECT_EQ(bytes[1], 0xFC);
    EXPECT_EQ(bytes[34], 0x0A);
    EXPECT_EQ(bytes[35], 0x0D);
}

TEST_F(OutputStage, TheBeltIsAnUnsignedBigEndianInteger) {
    const std::pair<double, Bytes> cases[] = {
        {-5.0, {0, 0, 0, 0}},
        {2.9, {0, 0, 0, 2}},
        {258.0, {0, 0, 1, 2}},
        {16909060.0, {1, 2, 3, 4}},
        {1e12, {0xFF, 0xFF, 0xFF, 0xFF}},
        {std::numeric_limits<double>::quiet_NaN(), {0, 0, 0, 0}},
    };
    for (const auto& [cue, expected] : cases) {
        e->finalCues[10] = cue;
        sendOutputFrame(*e);
        const Bytes bytes = frame();
        EXPECT_EQ(Bytes(bytes.begin() + 26, bytes.begin() + 30), expected) << cue;
    }
}

TEST_F(OutputStage, TheTickSendsOnlyWhileOutputIsNotBlocked) {
    link().bridgeRunning.store(true);
    e->outputBlocked.store(true);
    e.tick();
    EXPECT_TRUE(link().serialSendQueue.empty());
    EXPECT_EQ(frame(), Bytes(36, 0)) << "no frame built yet";
    e->outputBlocked.store(false);
    e.tick();
    EXPECT_EQ(link().serialSendQueue.size(), 2u) << "two identical frames per tick";
    EXPECT_EQ(link().serialSendQueue.motionCount(), 2u);
    EXPECT_EQ(frame()[0], 0xFC);
}

TEST_F(OutputStage, TheHostCopiesTheLastFrame) {
    MotionEngine& global = engine();
    global.rigLimits[5].min.store(-10.0);
    global.rigLimits[5].max.store(10.0);
    global.finalCues[5] = 4.0;
    sendOutputFrame(global);
    std::uint8_t out[36] = {};
    getOutputData(nullptr);  // allowed, does nothing
    getOutputData(out);
    const OutputFrame f = decodeOutputFrame(Bytes(out, out + 36));
    EXPECT_EQ(out[0], 0xFC);
    EXPECT_EQ(f.axes[5], 4.0f);
    EXPECT_EQ(out[35], 0x0D);
    global.finalCues[5] = 0.0;
}

// Float bytes that contain 0x0A 0x0D would end a host message early; a motion frame always goes whole.
TEST_F(OutputStage, AFrameWhoseValuesContainTheTerminatorReachesTheControllerWhole) {
    VirtualController controller(uniqueComNumber(0));
    ASSERT_TRUE(controller.ready());
    FakePorts ports;
    ports.add(controller.comName());
    PortsInstalled installed(ports);
    link().standardPortNumber.store(controller.comNumber());
    BridgeThread bridge;
    ASSERT_EQ(connectQuietly(), 1);
    controller.clear();  // the identification requests

    limits(-100.0, 100.0);
    const std::uint32_t bits = 0x3F800D0AU;  // little-endian bytes 0A 0D 80 3F
    float tricky = 0.0f;
    std::memcpy(&tricky, &bits, 4);
    e->finalCues[0] = tricky;
    e->finalCues[1] = -2.5;
    e->finalCues[10] = static_cast<double>(0x0A0D0000);  // the belt field too (exact in single precision)
    sendOutputFrame(*e);
    ASSERT_TRUE(controller.waitFor(
        [](const auto& m) {
            return std::count_if(m.begin(), m.end(), [](const ReceivedMessage& r) {
                       return r.kind == ReceivedMessage::Kind::Output;
                   }) >= 1;
        },
        5s));
    std::this_thread::sleep_for(20ms);
    const auto received = controller.received();
    ASSERT_GE(received.size(), 1u);
    for (const ReceivedMessage& m : received) {
        ASSERT_EQ(m.kind, ReceivedMessage::Kind::Output) << "no cut frame, no stray bytes";
        const OutputFrame f = decodeOutputFrame(m.bytes);
        EXPECT_EQ(f.axes[0], tricky);
        EXPECT_EQ(f.axes[1], -2.5f);
        EXPECT_EQ(f.belt, 0x0A0D0000u);
        EXPECT_TRUE(m.crcForm);
    }
    EXPECT_EQ(controller.crcFailures(), 0);
}

std::string binaryDirectory() {
    std::string self = testing::internal::GetArgvs()[0];
    const auto slash = self.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
}

// Runs the separate reader program; its six values, or nothing if it failed.
std::vector<double> poseSeenByAnotherProcess() {
    const std::string directory = binaryDirectory();
#if defined(_WIN32)
    const std::string reader = directory + "\\pose_reader.exe";
    const std::string out = directory + "\\pose_seen.txt";
#else
    const std::string reader = directory + "/pose_reader";
    const std::string out = directory + "/pose_seen.txt";
#endif
    std::remove(out.c_str());
    // cmd.exe takes the quotes of a quoted first word as its own, so the command goes unquoted there.
#if defined(_WIN32)
    const std::string command = reader + " " + out;
#else
    const std::string command = "'" + reader + "' '" + out + "'";
#endif
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(out);
    std::vector<double> values;
    for (double v; in >> v;)
        values.push_back(v);
    return values;
}

TEST_F(OutputStage, TheMotionCancelPoseIsReadBackByAnotherProcessAsSixDoubles) {
    ASSERT_TRUE(e->poseBlock.open());
    e->motionCancelActive.store(true);
    e->poseFilter.store(1.0);  // pass-through
    e->poseGain.store(2.0);
    const double cues[10] = {0.5, -1.25, 3.0, 10.0, 4.0, -6.0, 1.0, 2.0, 0.125, -0.25};
    for (std::size_t i = 0; i < 10; ++i)
        e->finalCues[i] = cues[i];
    sendOutputFrame(*e);
    const std::vector<double> seen = poseSeenByAnotherProcess();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0], 1.0);                           // sway
    EXPECT_EQ(seen[1], -2.5);                          // surge
    EXPECT_EQ(seen[2], 6.0);                           // heave
    EXPECT_EQ(seen[3], 20.0);                          // yaw
    EXPECT_EQ(seen[4], ((1.0 + 4.0) + 0.125) * 2.0);   // roll with channels 6 and 8
    EXPECT_EQ(seen[5], ((2.0 + -6.0) + -0.25) * 2.0);  // pitch with channels 7 and 9

    // The default filter smooths over 60 ticks, and the state carries from tick to tick.
    e->poseFilter.store(60.0);
    e->finalCues[0] = 60.5;
    sendOutputFrame(*e);
    EXPECT_DOUBLE_EQ(e->poseFiltered[0], (121.0 - 1.0) / 60.0 + 1.0);

    e->poseBlock.close();
    EXPECT_TRUE(poseSeenByAnotherProcess().empty()) << "the block is gone once closed";
    sendOutputFrame(*e);  // nothing mapped: no pose written, no harm
}

TEST_F(OutputStage, MotionCancelSettingsTakeEffectOnlyWhileActive) {
    MotionEngine& global = engine();
    activateMotionCancel(false);
    setGainMotionCancel(2.0);
    setFilterMotionCancel(5.0);
    EXPECT_EQ(global.poseGain.load(), 1.0);
    EXPECT_EQ(global.poseFilter.load(), 60.0);
    activateMotionCancel(true);
    EXPECT_TRUE(global.poseBlock.isOpen());
    setGainMotionCancel(2.0);
    setFilterMotionCancel(5.0);
    EXPECT_EQ(global.poseGain.load(), 2.0);
    EXPECT_EQ(global.poseFilter.load(), 5.0);
    activateMotionCancel(true);
    EXPECT_EQ(global.poseFilter.load(), 60.0) << "activation resets the filter";
    activateMotionCancel(false);
    EXPECT_FALSE(global.poseBlock.isOpen());
    setGainMotionCancel(1.0);
    EXPECT_EQ(global.poseGain.load(), 2.0);
}

// The host closes the pose block while the game-source thread writes it (under ASan an access to
// the unmapped view faults; under TSan a race shows).
TEST_F(OutputStage, ClosingThePoseBlockWhileTheThreadWritesItIsSafe) {
    e->motionCancelActive.store(true);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        double x = 0.0;
        while (!done.load()) {
            e->finalCues[0] = x += 0.001;
            sendOutputFrame(*e);
        }
    });
    for (int round = 0; round < 200; ++round) {
        e->poseBlock.open();
        std::this_thread::sleep_for(100us);
        e->poseBlock.close();
    }
    done.store(true);
    writer.join();
    EXPECT_FALSE(e->poseBlock.isOpen());
}

TEST_F(OutputStage, TheWindByteFollowsChannel21WhileItIsActive) {
    WindPeer wind(uniqueComNumber(1));
    ASSERT_TRUE(wind.ready());
    ASSERT_TRUE(e->windSerial.init(wind.comName(), 115200, "8N1", 5));

    e->profiles[kAirProfile].setActive(21, false);
    e->finalCues[21] = 50.0;
    sendOutputFrame(*e);
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(e->windSerial.isRunning()) << "channel 21 is inactive in the AIR profile";
    EXPECT_TRUE(wind.bytes().empty());

    e->profiles[kAirProfile].setActive(21, true);
    sendOutputFrame(*e);  // starts the device; this value is not delivered
    ASSERT_TRUE(eventually([&] { return e->windSerial.isRunning(); }));
    ASSERT_TRUE(wind.waitForCount(1, 2s));
    EXPECT_EQ(wind.bytes().front().value, 0x00) << "the device is primed with a zero";

    const std::pair<double, std::uint8_t> cases[] = {
        {50.0, 127}, {150.0, 255}, {-1.0, 0}, {100.0, 255}, {20.0, 51}};
    for (const auto& [cue, expected] : cases) {
        e->finalCues[21] = cue;
        sendOutputFrame(*e);
        const std::size_t before = wind.bytes().size();
        ASSERT_TRUE(wind.waitForCount(before + 1, 2s));
        EXPECT_EQ(wind.bytes().back().value, expected) << cue;
    }
    e->windSerial.stop();
}

}  // namespace
}  // namespace tarvelmond::test
