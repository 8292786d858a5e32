// The output stage on an engine instance: the 36-byte frame, the motion-cancel pose as another process
// reads it, and the wind byte. The frame's way to the controller is followed in live_chain_solo_test.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <thread>

#include "motion/output_stage.h"
#include "serial/link_test_support.h"
#include "support/engine_fixture.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

class OutputStage : public ::testing::Test {
  protected:
    void SetUp() override { e->outputBlocked.store(false); }
    Bytes frame() { return Bytes(e->output.outputFrame.begin(), e->output.outputFrame.end()); }

    EngineUnderTest e;
};

TEST_F(OutputStage, AxesAreClampedToTheRigLimitsInSinglePrecisionAndTheBeltIsBigEndian) {
    for (auto& limit : e->output.rigLimits) {
        limit.min.store(-1.0);
        limit.max.store(1.0);
    }
    e->cues.finalCues[0] = 2.5;
    e->cues.finalCues[1] = -3.0;
    e->cues.finalCues[2] = 0.25;
    e->cues.finalCues[3] = 1.0000000001;  // equal to the limit in single precision
    e->cues.finalCues[4] = std::numeric_limits<double>::quiet_NaN();
    e.sendOutput();
    EXPECT_EQ(decodeOutputFrame(frame()).axes, (std::array<float, 6>{1.0f, -1.0f, 0.25f, 1.0f, 1.0f, 0.0f}))
        << "NaN compares false with min and goes to the smaller of max and NaN";
    const Bytes bytes = frame();
    EXPECT_EQ((Bytes{bytes[0], bytes[1]}), (Bytes{0xFC, 0xFC}));
    EXPECT_EQ(Bytes(bytes.begin() + 30, bytes.end()), (Bytes{0, 0, 0, 0, 0x0A, 0x0D}));

    const std::pair<double, Bytes> belts[] = {{-5.0, {0, 0, 0, 0}},
                                              {2.9, {0, 0, 0, 2}},
                                              {16909060.0, {1, 2, 3, 4}},
                                              {1e12, {0xFF, 0xFF, 0xFF, 0xFF}},
                                              {NAN, {0, 0, 0, 0}}};
    for (const auto& [cue, expected] : belts) {
        e->cues.finalCues[10] = cue;
        e.sendOutput();
        const Bytes out = frame();
        EXPECT_EQ(Bytes(out.begin() + 26, out.begin() + 30), expected) << cue;
    }
}

// Runs the separate reader program beside this one; its six values, or nothing if it failed.
std::vector<double> poseSeenByAnotherProcess() {
    std::string directory = testing::internal::GetArgvs()[0];
    directory = directory.substr(0, directory.find_last_of("/\\") + 1);
    const std::string out = directory + "pose_seen.txt";
    std::remove(out.c_str());
#if defined(_WIN32)  // cmd.exe takes the quotes of a quoted first word as its own
    const std::string command = directory + "pose_reader.exe " + out;
#else
    const std::string command = "'" + directory + "pose_reader' '" + out + "'";
#endif
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(out);
    std::vector<double> values;
    for (double v; in >> v;)
        values.push_back(v);
    return values;
}

TEST_F(OutputStage, TheMotionCancelPoseIsReadBackByAnotherProcessAsSixDoubles) {
    ASSERT_TRUE(e->output.poseBlock.open());
    e->output.motionCancelActive.store(true);
    e->output.poseFilter.store(1.0);  // pass-through
    e->output.poseGain.store(2.0);
    const double cues[10] = {0.5, -1.25, 3.0, 10.0, 4.0, -6.0, 1.0, 2.0, 0.125, -0.25};
    for (std::size_t i = 0; i < 10; ++i)
        e->cues.finalCues[i] = cues[i];
    e.sendOutput();
    const std::vector<double> seen = poseSeenByAnotherProcess();
    EXPECT_EQ(seen, (std::vector<double>{1.0, -2.5, 6.0, 20.0, (1.0 + 4.0 + 0.125) * 2.0,
                                         (2.0 - 6.0 - 0.25) * 2.0}))
        << "sway, surge, heave, yaw; roll with channels 6 and 8, pitch with 7 and 9; all times the gain";

    e->output.poseBlock.close();
    EXPECT_TRUE(poseSeenByAnotherProcess().empty()) << "the block is gone once closed";
}

// The host switches motion cancel off (unmapping the pose) while the game-source thread writes it:
// under ASan a write to the unmapped view faults, under TSan the race shows.
TEST_F(OutputStage, ClosingThePoseBlockWhileTheThreadWritesItIsSafe) {
    e->output.motionCancelActive.store(true);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (double x = 0.0; !done.load(); x += 0.001) {
            e->cues.finalCues[0] = x;
            e.sendOutput();
        }
    });
    for (int round = 0; round < 200; ++round) {
        e->output.poseBlock.open();
        std::this_thread::sleep_for(100us);
        e->output.poseBlock.close();
    }
    done.store(true);
    writer.join();
    EXPECT_FALSE(e->output.poseBlock.isOpen());
}

TEST_F(OutputStage, TheWindByteFollowsChannel21WhileItIsActive) {
    WindPeer wind(uniqueComNumber(1));
    ASSERT_TRUE(wind.ready());
    ASSERT_TRUE(e->output.windSerial.init(wind.comName(), 115200, "8N1", 5));
    e->cues.profiles[kAirProfile].setActive(21, false);
    e->cues.finalCues[21] = 50.0;
    e.sendOutput();
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(e->output.windSerial.isRunning()) << "channel 21 is inactive in the AIR profile";

    e->cues.profiles[kAirProfile].setActive(21, true);
    e.sendOutput();  // starts the device (primed with a zero); this value is not delivered
    ASSERT_TRUE(eventually([&] { return e->output.windSerial.isRunning(); }));
    for (const auto& [cue, expected] : {std::pair{50.0, 127}, {150.0, 255}, {-1.0, 0}, {20.0, 51}}) {
        e->cues.finalCues[21] = cue;
        e.sendOutput();
        EXPECT_TRUE(eventually([&] { return !wind.bytes().empty() && wind.bytes().back() == expected; }))
            << cue;
    }
    e->output.windSerial.stop();
    EXPECT_EQ(wind.bytes().front(), 0x00);
}

}  // namespace
}  // namespace tarvelmond::test
