// A remote simulator that never answers, inside a network namespace of the test's own where the
// address leads into a dummy interface: the open does not hold its caller, the connect goes on in the
// background within its own limit, and closing calls it off at once.
#include <gtest/gtest.h>

#include "private_network.h"
#include "simclient_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace simclient;

bool privateNetwork = false;

// Runs before any test, while the program has a single thread, so that every thread it starts later
// lives in the namespace too.
class PrivateNetwork : public ::testing::Environment {
  public:
    void SetUp() override { privateNetwork = simulator_peer::enterPrivateNetwork(); }
};
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PrivateNetwork);

TEST_F(SimClientTest, AnUnansweredRemoteAddressHoldsNeitherTheCallerNorTheClose) {
    if (!privateNetwork) GTEST_SKIP() << "needs a private network namespace (Linux, root)";
    const ConfigInCurrentDirectory config(tcpConfig("IPv4", "198.51.100.7", 500));
    void* handle = nullptr;
    for (int pass = 0; pass < 10; ++pass) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0), kFailed);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "pass " << pass;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(connectionsUnderWay(), 1U);
    EXPECT_TRUE(eventually([] { return connectionsUnderWay() == 0; }, 15s)) << "the connect ends by itself";

    EXPECT_EQ(clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0), kFailed);
    EXPECT_EQ(connectionsUnderWay(), 1U) << "a later pass tries again";
    const auto start = std::chrono::steady_clock::now();
    closeAllClients();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "called off, not waited for";
    EXPECT_EQ(connectionsUnderWay(), 0U);
}

}  // namespace
}  // namespace tarvelmond::test
