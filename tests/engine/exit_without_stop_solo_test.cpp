// A host that returns from main with the library's threads running (the game-source thread, and a
// bridge on a detached thread of its own driving a controller) ends without a fault: the library's
// process-wide state is torn down in one order, each thread stopped before what it uses goes. Each run
// is a child process (exiting_host); the sanitizer builds report any use of destroyed state as a
// failing exit status.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "peers/virtual_controller.h"
#include "platform/child_process.h"
#include "platform/process_info.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

std::string hostProgram() {
    const std::string self = platform::executablePath();
    const std::string directory = self.substr(0, self.find_last_of("/\\") + 1);
#if defined(_WIN32)
    return directory + "exiting_host.exe";
#else
    return directory + "exiting_host";
#endif
}

// Runs the host once; its exit status, or -1 if it did not end within a minute.
int runHost(const std::string& mode, std::chrono::milliseconds motionTime) {
    platform::ChildProcess host;
    if (!host.start(hostProgram(), {mode, std::to_string(motionTime.count())})) return -2;
    return host.waitForExit(60s).value_or(-1);
}

TEST(ExitWithoutStop, AHostReturningFromMainWithTheLibraryRunningEndsWithoutAFault) {
    VirtualController controller(uniqueComNumber(6));  // Wine knows COM1 to COM9 only
    ASSERT_TRUE(controller.ready());
    declarePortIdentity(controller.comNumber());  // inherited by the host
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (int run = 0; run < 3; ++run) {
        for (const char* mode : {"thread", "bridge"}) {
            const auto motionTime = std::chrono::milliseconds(random() % 1500);
            const std::size_t framesBefore = controller.received().size();
            EXPECT_EQ(runHost(mode, motionTime), 0) << mode << " after " << motionTime.count() << " ms";
            if (std::string(mode) == "bridge") {
                // What the host wrote just before it ended may still be on its way to the controller.
                EXPECT_TRUE(controller.waitFor(
                    [&](const std::vector<ReceivedMessage>& received) {
                        return received.size() > framesBefore;
                    },
                    10s))
                    << "the bridge drove the controller";
            }
        }
    }
}

}  // namespace
}  // namespace tarvelmond::test
