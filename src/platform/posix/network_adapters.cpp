#include "platform/network_adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <linux/wireless.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

namespace tarvelmond::platform {
namespace {

// Wireless adapters report the Ethernet hardware type too; they answer the wireless name request.
// (Asked of the kernel, not of sysfs, which shows the interfaces of the namespace that mounted it.)
bool isWireless(const std::string& name) {
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0) return false;
    iwreq request{};
    name.copy(request.ifr_name, IFNAMSIZ - 1);
    const bool wireless = ioctl(probe, SIOCGIWNAME, &request) == 0;
    ::close(probe);
    return wireless;
}

// Each interface's lowest unicast route metric from the kernel's IPv4 routing table; interfaces without a
// route are not in the map.
std::map<std::string, std::uint32_t> lowestRouteMetrics() {
    std::map<std::string, std::uint32_t> metrics;
    std::ifstream routes("/proc/net/route");
    std::string line;
    std::getline(routes, line);  // the column titles
    while (std::getline(routes, line)) {
        std::istringstream fields(line);
        std::string name;
        std::string destination;
        std::string gateway;
        std::string flags;
        std::string refCount;
        std::string use;
        std::uint32_t metric = 0;
        if (!(fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric)) continue;
        // A route for the multicast groups says which adapter sends to them by default, not how
        // costly the adapter is: only unicast routes count. The destination is the address's bytes
        // in network order, written as one hexadecimal number (the first byte lowest).
        const unsigned long firstByte = std::strtoul(destination.c_str(), nullptr, 16) & 0xFFUL;
        if (firstByte >= 224 && firstByte <= 239) continue;
        const auto found = metrics.find(name);
        if (found == metrics.end() || metric < found->second) metrics[name] = metric;
    }
    return metrics;
}

}  // namespace

bool listNetworkAdapters(std::vector<NetworkAdapter>& adapters, int& error) {
    adapters.clear();
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        error = errno;
        return false;
    }
    const auto metrics = lowestRouteMetrics();
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        const std::string name = entry->ifa_name != nullptr ? entry->ifa_name : "";
        NetworkAdapter* adapter = nullptr;
        for (NetworkAdapter& known : adapters)
            if (known.name == name) adapter = &known;
        if (adapter == nullptr) {
            NetworkAdapter fresh;
            fresh.name = name;
            const unsigned flags = entry->ifa_flags;
            fresh.up = (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0;
            fresh.ethernet = false;  // known from the link-layer entry, which comes first
            const auto metric = metrics.find(name);
            fresh.ipv4Metric =
                metric != metrics.end() ? metric->second : std::numeric_limits<std::uint32_t>::max();
            adapters.push_back(std::move(fresh));
            adapter = &adapters.back();
        }
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            adapter->ethernet = link->sll_hatype == ARPHRD_ETHER && (entry->ifa_flags & IFF_LOOPBACK) == 0 &&
                                !isWireless(name);
        }
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            adapter->ipv4Addresses.push_back(ntohl(address->sin_addr.s_addr));
        }
    }
    freeifaddrs(list);
    return true;
}

}  // namespace tarvelmond::platform
