// Configuration: the profile files as the Windows profile reader reads them, the three SimConnect.cfg
// files in their order, the registry ports, and the configuration index.
#include <gtest/gtest.h>

#include "platform/profile_file.h"
#include "simclient/client_config.h"
#include "simclient_test_support.h"

namespace tarvelmond::test {
namespace {

using namespace simclient;
using platform::profileTextSectionHasEntries;
using platform::profileTextValue;

TEST(ProfileText, ReadsSectionsAndKeysAsTheWindowsProfileReaderDoes) {
    const std::string text =
        "\xEF\xBB\xBF"
        "Protocol=before any section\n"
        "; Port=commented out\n"
        "  [ simconnect ]  \r\n"
        "  protocol =  IPv4  \r\n"
        "Address=\"127.0.0.1\"\n"
        "Port='500'\n"
        "Empty=\n"
        "MaxReceiveSize=1 ; not a comment\n"
        "Protocol=second value is not read\n"
        "[SimConnect.2]\n"
        "Port=600\n"
        "[SIMCONNECT]\n"
        "Port=a second section of the same name is not read\n"
        "[Bare]\n"
        "just a line\n";
    EXPECT_EQ(profileTextValue(text, "SimConnect", "Protocol"), "IPv4");
    EXPECT_EQ(profileTextValue(text, "SimConnect", "ADDRESS"), "127.0.0.1");
    EXPECT_EQ(profileTextValue(text, "SimConnect", "Port"), "500");
    EXPECT_EQ(profileTextValue(text, "SimConnect", "Empty"), "");
    EXPECT_EQ(profileTextValue(text, "SimConnect", "MaxReceiveSize"), "1 ; not a comment");
    EXPECT_EQ(profileTextValue(text, "SimConnect", "Missing"), "");
    EXPECT_EQ(profileTextValue(text, "SimConnect.2", "Port"), "600");
    EXPECT_EQ(profileTextValue(text, "Missing", "Port"), "");

    EXPECT_TRUE(profileTextSectionHasEntries(text, "simconnect.2"));
    EXPECT_TRUE(profileTextSectionHasEntries(text, "Bare"));
    EXPECT_FALSE(profileTextSectionHasEntries("[Empty]\n; only a comment\n\n[Other]\nA=1\n", "Empty"));
    EXPECT_FALSE(profileTextSectionHasEntries(text, "SimConnect.3"));
}

TEST(ProfileText, CutsLongValuesAndTakesAnyBytes) {
    const std::string longValue(5000, '7');
    EXPECT_EQ(profileTextValue("[S]\nPort=" + longValue + "\n", "S", "Port"),
              longValue.substr(0, platform::kProfileValueMax));
    const std::string withZeros("[S]\nA=x\0y\nB=2", 13);
    EXPECT_EQ(profileTextValue(withZeros, "S", "B"), "2");
    EXPECT_EQ(profileTextValue("[S", "S", "A"), "");
    EXPECT_EQ(profileTextValue("[S]\nA", "S", "A"), "");
    EXPECT_EQ(profileTextValue("", "S", "A"), "");
}

// Three configuration files, read in their order, with an injected registry.
struct ThreeFiles {
    TemporaryFolder folder;
    ConfigSources sources;
    std::vector<std::string> registryAsks;

    ThreeFiles(const std::string& first, const std::string& second, const std::string& third) {
        sources.files = {folder.write("all-users.cfg", first), folder.write("user.cfg", second),
                         folder.write("current.cfg", third)};
        sources.registryPort = [this](bool ipv6, std::string& port) {
            registryAsks.push_back(ipv6 ? "IPv6" : "IPv4");
            port = ipv6 ? "6006" : "4004";
            return true;
        };
    }
    ClientSettings read(std::uint32_t index) const {
        ClientSettings settings;
        settings.protocol = 99;  // the read starts from the defaults whatever was there
        readClientConfig(index, sources, settings);
        return settings;
    }
};

TEST(ClientConfig, LaterFilesOverrideEarlierOnesAndTheReceiveSizeOnlyGrows) {
    const ThreeFiles files(
        "[SimConnect]\nProtocol=IPv6\nAddress=first\nPort=1111\nMaxReceiveSize=90000\n"
        "DisableNagle=1\n",
        "[SimConnect]\nAddress=second\nMaxReceiveSize=50000\nPort=\n",
        "[SimConnect]\nProtocol=Gopher\nMaxReceiveSize=4096\nDisableNagle=0x\n");
    const ClientSettings settings = files.read(0);
    EXPECT_EQ(settings.protocol, kProtocolIpv6) << "an unknown protocol leaves the earlier one";
    EXPECT_EQ(settings.address, "second");
    EXPECT_EQ(settings.port, "1111") << "an empty value replaces nothing";
    EXPECT_EQ(settings.maxReceiveSize, 90000U) << "the larger size of two files stays";
    EXPECT_FALSE(settings.disableNagle) << "\"0x\" is read as the number 0";
    EXPECT_EQ(files.registryAsks, std::vector<std::string>{"IPv6"}) << "the port was empty when IPv6 came";

    const ThreeFiles small("", "[SimConnect]\nMaxReceiveSize=100\n", "[SimConnect]\nMaxReceiveSize=-5\n");
    EXPECT_EQ(small.read(0).maxReceiveSize, kDefaultMaxReceiveSize) << "never below the default";
}

TEST(ClientConfig, ProtocolsTakeTheRegistryPortOnlyWhenNoneIsSet) {
    const ThreeFiles ipv4("[SimConnect]\nprotocol=ipv4\n", "", "");
    EXPECT_EQ(ipv4.read(0).protocol, kProtocolIpv4);
    EXPECT_EQ(ipv4.read(0).port, "4004");

    const ThreeFiles portFirst("[SimConnect.3]\nPort=500\n", "[SimConnect.3]\nProtocol=IPv4\nPort=501\n", "");
    const ClientSettings settings = portFirst.read(3);
    EXPECT_EQ(settings.protocol, kProtocolIpv4);
    EXPECT_EQ(settings.port, "501");
    EXPECT_TRUE(portFirst.registryAsks.empty()) << "a port read before the protocol is kept";

    const ThreeFiles pipe("[SimConnect]\nProtocol=Auto\nPort=MyPipe\nDisableNagle=+2\n", "", "");
    EXPECT_EQ(pipe.read(0).protocol, kProtocolPipe);
    EXPECT_EQ(pipe.read(0).port, "MyPipe");
    EXPECT_TRUE(pipe.read(0).disableNagle);
}

TEST(ClientConfig, TheDefaultsOnlyIndexReadsNoFileAndOtherIndexesNeedTheirSection) {
    const ThreeFiles files("[SimConnect]\nProtocol=IPv4\nPort=7\n", "[SimConnect.2]\n; nothing\n",
                           "[SimConnect.5]\nAddress=host\n");
    const ClientSettings defaults = files.read(kDefaultsOnly);
    EXPECT_EQ(defaults.protocol, kProtocolPipe);
    EXPECT_EQ(defaults.address, "");
    EXPECT_EQ(defaults.port, "");
    EXPECT_EQ(defaults.maxReceiveSize, kDefaultMaxReceiveSize);
    EXPECT_FALSE(defaults.disableNagle);
    EXPECT_TRUE(files.registryAsks.empty());

    EXPECT_TRUE(configurationIndexExists(0, files.sources));
    EXPECT_TRUE(configurationIndexExists(kDefaultsOnly, files.sources));
    EXPECT_TRUE(configurationIndexExists(5, files.sources));
    EXPECT_FALSE(configurationIndexExists(2, files.sources)) << "an empty section does not count";
    EXPECT_EQ(files.read(5).address, "host");
    EXPECT_EQ(configurationSection(5), "SimConnect.5");
}

TEST_F(SimClientTest, AnIndexWithoutItsSectionFailsTheOpenWithoutAConnection) {
    simulator_peer::FakeSimulator simulator;
    ASSERT_TRUE(simulator.listening());
    const ConfigInCurrentDirectory config(
        tcpConfig("IPv4", "127.0.0.1", simulator.ipv4Port()) +
        "[SimConnect.1]\nProtocol=IPv4\nPort=" + std::to_string(simulator.ipv4Port()) + "\n");
    void* handle = reinterpret_cast<void*>(1);
    EXPECT_EQ(clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 2), kInvalidConfigurationIndex);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(connectionsUnderWay(), 0U);
    std::int32_t result = kFailed;
    void* client = openClient(&result, 1);
    ASSERT_NE(client, nullptr) << std::hex << result;
    EXPECT_TRUE(eventually([&] { return simulator.connectionsAccepted() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(simulator.connectionsAccepted(), 1U) << "only the open with a section connected";
    EXPECT_EQ(clientClose(client), kSuccess);
}

#if defined(_WIN32)
TEST(RegistryPort, ReadsTheSimulatorsPortsFromTheCurrentUsersKey) {
    std::string port = "stale";
    {
        const RegistryPorts ports("5001", "");
        EXPECT_TRUE(readRegistryPort(false, port));
        EXPECT_EQ(port, "5001");
        EXPECT_FALSE(readRegistryPort(true, port));
        EXPECT_EQ(port, "");
    }
    EXPECT_FALSE(readRegistryPort(false, port));
}
#else
TEST(RegistryPort, ThereIsNoRegistryOutsideWindows) {
    std::string port = "stale";
    EXPECT_FALSE(readRegistryPort(false, port));
    EXPECT_EQ(port, "");
}
#endif

}  // namespace
}  // namespace tarvelmond::test
