// The connection chain: the stages a configuration starts from and the fallbacks to the local
// simulator's other endpoints, first as the steps it takes, then over real connections.
#include <gtest/gtest.h>

#include "platform/stream.h"
#include "simclient/connection_chain.h"
#include "simclient_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace simclient;
using simulator_peer::FakeSimulator;
using simulator_peer::FakeSimulatorOptions;

constexpr const char* kSimulatorPipe = "\\\\.\\pipe\\Microsoft Flight Simulator\\SimConnect";

// The steps the chain takes, in order; each fails unless it is the one named to succeed.
struct RecordedChain {
    std::vector<std::string> steps;
    std::string succeeds;
    std::string ipv4Port, ipv6Port;  // the registry's; empty when missing

    std::vector<std::string> run(const ClientSettings& settings) {
        const ChainSteps recording{
            .openPipe = [this](const std::string& path) { return step("pipe " + path); },
            .connectTcp =
                [this](platform::TcpFamily family, const std::string& address, const std::string& port) {
                    return step((family == platform::TcpFamily::Ipv6 ? "tcp6 " : "tcp4 ") + address + " " +
                                port);
                },
            .registryPort =
                [this](bool ipv6, std::string& port) {
                    port = ipv6 ? ipv6Port : ipv4Port;
                    return !port.empty();
                },
        };
        steps.clear();
        connected = connectTransport(settings, recording).valid();
        return steps;
    }
    platform::Stream step(const std::string& what) {
        steps.push_back(what);
        if (what != succeeds) return {};
        // Any open stream stands for a connection here.
        return platform::connectTcp(platform::TcpFamily::Ipv4, "127.0.0.1", std::to_string(server.ipv4Port()),
                                    {std::chrono::milliseconds(2000)});
    }

    FakeSimulator server;
    bool connected = false;
};

ClientSettings settings(std::uint32_t protocol, std::string address, std::string port) {
    ClientSettings result;
    result.protocol = protocol;
    result.address = std::move(address);
    result.port = std::move(port);
    return result;
}

using Steps = std::vector<std::string>;

TEST(ConnectionChain, FallsBackAlongTheLocalEndpointsOnly) {
    RecordedChain chain;
    EXPECT_EQ(chain.run(ClientSettings{}),
              (Steps{std::string("pipe ") + kSimulatorPipe, std::string("pipe ") + kSimulatorPipe}))
        << "no registry: both TCP stages are skipped";
    EXPECT_FALSE(chain.connected);

    chain.ipv4Port = "4004";
    chain.ipv6Port = "6006";
    EXPECT_EQ(chain.run(ClientSettings{}),
              (Steps{std::string("pipe ") + kSimulatorPipe, "tcp6 ::1 6006", "tcp4 127.0.0.1 4004",
                     std::string("pipe ") + kSimulatorPipe}));
    EXPECT_EQ(chain.run(settings(kProtocolIpv6, "::1", "7000")),
              (Steps{"tcp6 ::1 7000", "tcp4 127.0.0.1 4004", std::string("pipe ") + kSimulatorPipe}));
    EXPECT_EQ(chain.run(settings(kProtocolIpv4, "192.0.2.1", "500")), (Steps{"tcp4 192.0.2.1 500"}))
        << "a remote address gets one attempt";
    EXPECT_EQ(chain.run(settings(kProtocolIpv6, "2001:db8::1", "500")), (Steps{"tcp6 2001:db8::1 500"}));
    EXPECT_EQ(chain.run(settings(kProtocolPipe, "server", "")),
              (Steps{"pipe \\\\server\\pipe\\Microsoft Flight Simulator\\SimConnect"}));
    EXPECT_EQ(chain.run(settings(kProtocolPipe, ".", "MyPipe")),
              (Steps{"pipe \\\\.\\pipe\\MyPipe", "tcp6 ::1 6006", "tcp4 127.0.0.1 4004",
                     std::string("pipe ") + kSimulatorPipe}))
        << "a Port in a pipe section names the pipe";

    chain.succeeds = "tcp6 ::1 6006";
    EXPECT_EQ(chain.run(ClientSettings{}), (Steps{std::string("pipe ") + kSimulatorPipe, "tcp6 ::1 6006"}));
    EXPECT_TRUE(chain.connected) << "success ends the chain";
}

TEST_F(SimClientTest, ConnectsOverIpv6AndIpv4ToTheLoopback) {
    FakeSimulatorOptions options;
    options.ipv6 = true;
    FakeSimulator simulator(options);
    ASSERT_TRUE(simulator.listening());
    for (const auto& [protocol, address, port, peer] :
         {std::tuple{"IPv6", "::1", simulator.ipv6Port(), "::1"},
          std::tuple{"IPv4", "127.0.0.1", simulator.ipv4Port(), "127.0.0.1"},
          std::tuple{"ipv4", "", simulator.ipv4Port(), "127.0.0.1"}}) {
        SCOPED_TRACE(protocol);
        const std::size_t before = simulator.connectionsAccepted();
        const ConfigInCurrentDirectory config(tcpConfig(protocol, address, port) + "DisableNagle=1\n");
        std::int32_t result = kFailed;
        void* client = openClient(&result);
        ASSERT_NE(client, nullptr) << std::hex << result;
        ASSERT_TRUE(eventually([&] { return simulator.connectionsAccepted() == before + 1; }));
        EXPECT_EQ(simulator.peers().back(), peer);
        std::vector<std::uint8_t> message;
        ASSERT_EQ(nextMessage(client, message), kSuccess);
        EXPECT_EQ(messageId(message), 2U) << "the open was acknowledged";
        EXPECT_EQ(clientClose(client), kSuccess);
    }
    EXPECT_TRUE(simulator.problems().empty());
}

TEST_F(SimClientTest, NoServerAnywhereFailsTheOpenWithTheGenericCode) {
    const ConfigInCurrentDirectory config("; no section\n");
    void* handle = nullptr;
    EXPECT_EQ(clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0), kFailed);
    EXPECT_TRUE(eventually([] { return connectionsUnderWay() == 0; }));
    EXPECT_EQ(clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0), kFailed);
    EXPECT_EQ(handle, nullptr);
}

#if defined(_WIN32)
TEST_F(SimClientTest, PipesByTheirOwnNameAndTheSimulatorsNameAndTheRegistryPortsAfterThem) {
    {
        FakeSimulatorOptions options;
        options.pipePath = "\\\\.\\pipe\\TarvelmondTestPipe";
        FakeSimulator simulator(options);
        ASSERT_TRUE(simulator.listening());
        const ConfigInCurrentDirectory config("[SimConnect]\nProtocol=Pipe\nPort=TarvelmondTestPipe\n");
        void* client = openClient();
        ASSERT_NE(client, nullptr);
        EXPECT_TRUE(eventually([&] { return simulator.peers() == std::vector<std::string>{"pipe"}; }));
        std::vector<std::uint8_t> message;
        ASSERT_EQ(nextMessage(client, message), kSuccess);
        EXPECT_EQ(messageId(message), 2U);
        EXPECT_EQ(clientClose(client), kSuccess);
        EXPECT_TRUE(simulator.problems().empty());
    }
    {
        FakeSimulatorOptions options;
        options.pipePath = kSimulatorPipe;
        FakeSimulator simulator(options);
        ASSERT_TRUE(simulator.listening());
        const ConfigInCurrentDirectory config("");
        void* client = openClient();
        ASSERT_NE(client, nullptr) << "no file: the simulator's own pipe";
        EXPECT_TRUE(eventually([&] { return simulator.peers() == std::vector<std::string>{"pipe"}; }));
        EXPECT_EQ(clientClose(client), kSuccess);
    }
    {
        // No pipe: on to ::1 at the registry's IPv6 port, where nothing listens, then 127.0.0.1 at the
        // registry's IPv4 port.
        FakeSimulator simulator;
        ASSERT_TRUE(simulator.listening());
        FakeSimulatorOptions unusedOptions;
        unusedOptions.ipv4 = false;
        unusedOptions.ipv6 = true;
        std::uint16_t deadIpv6Port = 0;
        {
            const FakeSimulator gone(unusedOptions);
            deadIpv6Port = gone.ipv6Port();
        }
        const RegistryPorts ports(std::to_string(simulator.ipv4Port()), std::to_string(deadIpv6Port));
        const ConfigInCurrentDirectory config("[SimConnect]\nProtocol=Pipe\n");
        void* client = openClient();
        ASSERT_NE(client, nullptr);
        EXPECT_TRUE(eventually([&] { return simulator.peers() == std::vector<std::string>{"127.0.0.1"}; }));
        EXPECT_EQ(clientClose(client), kSuccess);
    }
}
#endif

}  // namespace
}  // namespace tarvelmond::test
