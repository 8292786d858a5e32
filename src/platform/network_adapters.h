#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tarvelmond::platform {

// A network adapter as the system lists it.
struct NetworkAdapter {
    std::string name;  // the friendly name (Windows) or the interface name, UTF-8
    bool up = false;   // operational: it can carry traffic now
    bool ethernet =
        false;  // wired Ethernet (Windows: interface type 6; Linux: ARP type Ethernet, not wireless)
    std::uint32_t ipv4Metric =
        0;  // Windows: the IPv4 interface metric; Linux: its lowest unicast route metric
    std::vector<std::uint32_t> ipv4Addresses;  // unicast, host byte order, in the system's order
};

// The adapters in the system's order; false (with the system's error code) when it cannot list them.
bool listNetworkAdapters(std::vector<NetworkAdapter>& adapters, int& error);

}  // namespace tarvelmond::platform
