// The motion-cancel pose must stay finite and follow the rig whatever the host sets as its filter or
// gain: a compensation layer that reads a NaN pose throws the headset's view.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <cmath>
#include <limits>

#include "motion/output_stage.h"
#include "support/engine_fixture.h"

namespace tarvelmond {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(MotionCancelPose, FiltersBelowOneTickPassThePoseThroughUnsmoothed) {
    for (double filter : {0.0, 0.5, -3.0, kNaN, kInf}) {
        test::EngineUnderTest e;
        e->output.motionCancelActive.store(true);
        e->output.poseGain.store(1.0);
        e->output.poseFilter.store(filter);
        for (int tick = 0; tick < 5; ++tick) {
            e->cues.finalCues[0] = 2.0 + tick;
            e.sendOutput();
            EXPECT_EQ(e->output.poseFiltered[0], 2.0 + tick) << "filter " << filter << ", tick " << tick;
        }
    }
}

TEST(MotionCancelPose, TheHostCannotSetANonFiniteGain) {
    activateMotionCancel(true);
    setGainMotionCancel(1.5);
    setGainMotionCancel(kNaN);
    setGainMotionCancel(-kInf);
    EXPECT_EQ(engine().output.poseGain.load(), 1.5);
    activateMotionCancel(false);
}

}  // namespace
}  // namespace tarvelmond
