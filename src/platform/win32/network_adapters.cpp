#include "platform/network_adapters.h"

// The socket headers before the IP helper's, which needs their types.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <vector>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {

bool listNetworkAdapters(std::vector<NetworkAdapter>& adapters, int& error) {
    adapters.clear();
    ULONG size = 0;
    ULONG result = GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_PREFIX, nullptr, nullptr, &size);
    if (result != ERROR_BUFFER_OVERFLOW) {
        error = static_cast<int>(result);
        return false;
    }
    // The list may grow between the two calls: ask again with the size the system gives.
    std::vector<unsigned char> buffer;
    for (int attempt = 0; attempt < 3; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_PREFIX, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        if (result != ERROR_BUFFER_OVERFLOW) break;
    }
    if (result != NO_ERROR) {
        error = static_cast<int>(result);
        return false;
    }
    for (auto* entry = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); entry != nullptr;
         entry = entry->Next) {
        NetworkAdapter adapter;
        adapter.name = entry->FriendlyName != nullptr ? narrow(entry->FriendlyName) : std::string();
        adapter.up = entry->OperStatus == IfOperStatusUp;
        adapter.ethernet = entry->IfType == IF_TYPE_ETHERNET_CSMACD;
        adapter.ipv4Metric = entry->Ipv4Metric;
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = entry->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            adapter.ipv4Addresses.push_back(
                ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr));
        }
        adapters.push_back(std::move(adapter));
    }
    return true;
}

}  // namespace tarvelmond::platform
