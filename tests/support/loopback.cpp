#include "support/loopback.h"

#ifdef _WIN32
#include <winsock2.h>
// the helper API needs the socket types first
#include <iphlpapi.h>

#include <vector>
#else
#include <fstream>
#include <sstream>
#include <string>
#endif

namespace tarvelmond::test {

#ifdef _WIN32

bool udpPortHeld(std::uint16_t port) {
    ULONG size = 0;
    std::vector<std::uint8_t> table;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table can grow between asking for its size and reading it.
    while (result == ERROR_INSUFFICIENT_BUFFER) {
        table.resize(size + sizeof(MIB_UDPTABLE));
        size = static_cast<ULONG>(table.size());
        result = GetUdpTable(reinterpret_cast<MIB_UDPTABLE*>(table.data()), &size, FALSE);
    }
    if (result != NO_ERROR) return false;
    const auto* udp = reinterpret_cast<const MIB_UDPTABLE*>(table.data());
    for (DWORD i = 0; i < udp->dwNumEntries; ++i)
        if (ntohs(static_cast<u_short>(udp->table[i].dwLocalPort)) == port) return true;
    return false;
}

#else

namespace {

// A line of /proc/net/udp reads "sl: local-address:port remote-address:port ...", in hex.
bool listsLocalPort(const char* table, std::uint16_t port) {
    std::ifstream file(table);
    std::string line;
    std::getline(file, line);  // the heading
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string slot;
        std::string local;
        fields >> slot >> local;
        const auto colon = local.rfind(':');
        if (colon != std::string::npos && std::stoul(local.substr(colon + 1), nullptr, 16) == port)
            return true;
    }
    return false;
}

}  // namespace

bool udpPortHeld(std::uint16_t port) {
    return listsLocalPort("/proc/net/udp", port) || listsLocalPort("/proc/net/udp6", port);
}

#endif

}  // namespace tarvelmond::test
