#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Where the simulator client connects: read from the SimConnect.cfg files the flight simulator's users
// keep, and from the ports the simulator records in the registry.
namespace tarvelmond::simclient {

inline constexpr std::uint32_t kProtocolPipe = 1;
inline constexpr std::uint32_t kProtocolIpv4 = 2;
inline constexpr std::uint32_t kProtocolIpv6 = 23;

// No configuration file is read for this index; the defaults stand.
inline constexpr std::uint32_t kDefaultsOnly = 0xFFFFFFFFu;
inline constexpr std::uint32_t kDefaultMaxReceiveSize = 41088;

struct ClientSettings {
    std::uint32_t protocol = kProtocolPipe;
    std::string address;  // pipe: server name (empty: this machine); TCP: host name or address
    std::string port;     // pipe: pipe name (empty: the simulator's); TCP: port number or service
    std::uint32_t maxReceiveSize = kDefaultMaxReceiveSize;
    bool disableNagle = false;
};

// Where configuration comes from: the configuration files, in the order they are read (later files
// override earlier ones), and the registry's port values.
struct ConfigSources {
    std::vector<std::string> files;
    // (IPv6 or not, port out) → whether the value was read; `port` is emptied first.
    std::function<bool(bool ipv6, std::string& port)> registryPort;

    // SimConnect.cfg in the all-users documents folder, the user's documents folder and the current
    // directory (at most 260 characters), where each is known; the simulator's registry ports.
    static ConfigSources system();
};

// The simulator's own record of its TCP ports: HKEY_CURRENT_USER
// "SOFTWARE\Microsoft\Microsoft Games\KittyHawk", values "SimConnect_Port_IPv4" / "SimConnect_Port_IPv6".
// Empties `port`, then fills it if the value can be read: whether it could. Never where there is no
// registry.
bool readRegistryPort(bool ipv6, std::string& port);

// The section the configuration index names: "SimConnect" for 0, "SimConnect.<index>" otherwise.
std::string configurationSection(std::uint32_t index);

// Fills `settings` with the defaults and then, unless the index is kDefaultsOnly, with the values of
// the index's section in each file, in order.
void readClientConfig(std::uint32_t index, const ConfigSources& sources, ClientSettings& settings);
void readClientConfig(std::uint32_t index, ClientSettings& settings);

// Whether some file has a non-empty section for `index` (0 and kDefaultsOnly always pass, without a
// file being read).
bool configurationIndexExists(std::uint32_t index, const ConfigSources& sources);
bool configurationIndexExists(std::uint32_t index);

}  // namespace tarvelmond::simclient
