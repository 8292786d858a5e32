// The in-process check: a program that exports the simulator's two entry points is taken for the
// simulator only when the process id it reports is its own. Either way the client connects as every
// client does (the in-process mode is not built).
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/process_info.h"
#include "platform/simulator_process.h"
#include "simclient/sim_client.h"
#include "simclient_test_support.h"

#if defined(_WIN32)
#define SIMULATOR_EXPORT extern "C" __declspec(dllexport)
#else
#define SIMULATOR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {
std::uint32_t reportedProcessId = 0;
int mainWindow = 0;
}  // namespace

SIMULATOR_EXPORT void* FlightSimGetMainHwnd() {
    return &mainWindow;
}
SIMULATOR_EXPORT std::uint32_t FlightSimGetProcessId() {
    return reportedProcessId;
}

namespace tarvelmond::test {
namespace {

using namespace simclient;

TEST_F(SimClientTest, TheSimulatorsOwnProcessIsRecognisedAndStillConnectsAsAnyClient) {
    reportedProcessId = 1;  // another process's id
    EXPECT_FALSE(platform::simulatorWindowOfThisProcess().has_value());

    reportedProcessId = platform::currentProcessId();
    const auto window = platform::simulatorWindowOfThisProcess();
    ASSERT_TRUE(window.has_value());
    EXPECT_EQ(*window, static_cast<void*>(&mainWindow));

    simulator_peer::FakeSimulator simulator;
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port()));
    void* client = openClient();
    ASSERT_NE(client, nullptr);
    EXPECT_TRUE(static_cast<SimClient*>(client)->insideSimulator());
    std::vector<std::uint8_t> acknowledgement;
    ASSERT_EQ(nextMessage(client, acknowledgement), kSuccess);
    EXPECT_EQ(messageId(acknowledgement), 2U) << "an ordinary connection";
    EXPECT_EQ(clientClose(client), kSuccess);
}

}  // namespace
}  // namespace tarvelmond::test
