#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "log/error_log.h"
#include "platform/network_adapters.h"

namespace tarvelmond {

// The multicast sender's adapter: among the adapters that are up and wired Ethernet, the one with the
// lowest IPv4 metric (ties to the first listed; wireless and virtual adapters never qualify), and its
// first IPv4 unicast address. Every step is logged; none found is an error line.
std::optional<std::uint32_t> choosePreferredAdapter(const std::vector<platform::NetworkAdapter>& adapters,
                                                    ErrorLog& log);

// The same over the system's own list.
std::optional<std::uint32_t> preferredEthernetAdapter(ErrorLog& log);

}  // namespace tarvelmond
