// The output stage runs 500 times a second on the real-time thread: with the bridge accepting frames,
// the pose block mapped and the wind device running, it must not allocate; nor must the bridge that
// takes each frame from the queue and writes it to the controller's port. This program counts every
// allocation of the threads that send (the peers' threads record what they receive and allocate).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "motion/output_stage.h"
#include "peers/virtual_controller.h"
#include "serial/link_state.h"
#include "serial/link_test_support.h"
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

// The rest of a frame's way: the bridge, woken by the queued frame, computes its CRC and writes it to
// the controller's port, pass after pass, while the controller answers with frames of its own. Once
// connected, the bridge's thread allocates nothing.
TEST(FramePathAllocation, TheBridgeWritesEachFrameToTheControllerWithoutAllocating) {
    resetLink();
    EngineUnderTest e;
    e->outputBlocked.store(false);
    VirtualController controller(uniqueComNumber(6));
    ASSERT_TRUE(controller.ready());
    FakePorts ports;
    ports.add(controller.comName());
    link().standardPortNumber.store(controller.comNumber());
    std::atomic<const std::atomic<long>*> bridgeAllocations{nullptr};
    std::thread bridge([&] {
        bridgeAllocations.store(&allocationCounterOfThisThread());
        auto counted = std::make_unique<int>(1);  // shows that the count below is this thread's
        runBridge();
    });
    ASSERT_TRUE(eventually([] { return link().bridgeActive.load(); }));
    ASSERT_EQ(printedBy([] { connectStandardPort(); }), "opened....id correct. \n");
    ASSERT_TRUE(eventually([&] { return controller.identificationRequests() == 2; }));

    // Frames paced as the real-time thread sends them; the first ones let every lazily built part
    // of the loop come into being.
    auto next = std::chrono::steady_clock::now();
    const auto sendFrames = [&](int count) {
        for (int t = 0; t < count; ++t) {
            e->cues.finalCues[0] = 0.001 * t;
            e.sendOutput();
            std::this_thread::sleep_until(next += std::chrono::milliseconds(2));
        }
    };
    sendFrames(100);
    const std::size_t framesBefore = controller.received().size();
    const long before = bridgeAllocations.load()->load();
    ASSERT_GT(before, 0) << "the count is the bridge thread's";
    sendFrames(1000);
    const long during = bridgeAllocations.load()->load() - before;
    EXPECT_EQ(during, 0);
    EXPECT_GT(controller.received().size(), framesBefore + 500) << "the frames reached the controller";

    stopBridge();
    bridge.join();
    resetLink();
}

}  // namespace
}  // namespace tarvelmond::test
