// The output stage runs 500 times a second on the real-time thread: with the bridge accepting frames,
// the pose block mapped and the wind device running, it must not allocate. This program counts every
// allocation of the thread that sends (the peers' threads record what they receive and allocate).
#include <gtest/gtest.h>

#include "motion/output_stage.h"
#include "peers/virtual_controller.h"
#include "serial/link_state.h"
#include "support/allocation_counter.h"
#include "support/engine_fixture.h"

namespace tarvelmond::test {
namespace {

TEST(OutputStageAllocation, SendingFramesPoseAndWindAllocatesNothing) {
    EngineUnderTest e;
    e->outputBlocked.store(false);
    for (auto& limit : e->output.rigLimits) {
        limit.min.store(-10.0);
        limit.max.store(10.0);
    }
    link().bridgeRunning.store(true);  // frames are accepted into the send queues
    ASSERT_TRUE(e->output.poseBlock.open());
    e->output.motionCancelActive.store(true);
    WindPeer wind(uniqueComNumber(7));
    ASSERT_TRUE(wind.ready() && e->output.windSerial.init(wind.comName(), 115200, "8N1", 2));
    e->output.windSerial.start();
    ASSERT_TRUE(e->output.windSerial.isRunning());

    const long before = allocationsOnThisThread();
    for (int t = 0; t < 2000; ++t) {
        e->cues.finalCues[0] = 0.001 * t;
        e->cues.finalCues[21] = t % 100;
        e.sendOutput();
        if (t % 100 == 0) {  // as the bridge drains them
            link().serialSendQueue.clear();
            link().udpSendQueue.clear();
        }
    }
    EXPECT_EQ(allocationsOnThisThread() - before, 0);
    e->output.windSerial.stop();
    e->output.poseBlock.close();
    link().bridgeRunning.store(false);
}

}  // namespace
}  // namespace tarvelmond::test
