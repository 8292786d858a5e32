#include "net/adapter_choice.h"

#include <string>

#include "net/dotted_quad.h"

namespace tarvelmond {

std::optional<std::uint32_t> choosePreferredAdapter(const std::vector<platform::NetworkAdapter>& adapters,
                                                    ErrorLog& log) {
    const platform::NetworkAdapter* best = nullptr;
    std::uint32_t bestMetric = 0x7FFFFFFF;
    for (const platform::NetworkAdapter& adapter : adapters) {
        log.logInfo("Examining adapter: " + adapter.name);
        if (!adapter.up || !adapter.ethernet) {
            log.logInfo("Adapter is either inactive or not of type Ethernet. Skipping.");
            continue;
        }
        log.logInfo("Adapter is active and of type Ethernet.");
        if (adapter.ipv4Metric < bestMetric) {  // only a strictly lower metric: ties go to the first
            log.logInfo("Adapter has lower metric (" + std::to_string(adapter.ipv4Metric) +
                        "). Selecting this adapter.");
            best = &adapter;
            bestMetric = adapter.ipv4Metric;
        }
    }
    if (best == nullptr) {
        log.logError("No suitable adapter found.");
        return std::nullopt;
    }
    log.logInfo("Best adapter selected: " + best->name + " with metric: " + std::to_string(bestMetric));
    if (best->ipv4Addresses.empty()) return std::nullopt;
    const std::uint32_t address = best->ipv4Addresses.front();
    log.logInfo("Selected adapter IP: " + dottedQuadText(address));
    return address;
}

std::optional<std::uint32_t> preferredEthernetAdapter(ErrorLog& log) {
    log.logInfo("Starting GetPreferredEthernetAdapter routine.");
    std::vector<platform::NetworkAdapter> adapters;
    int error = 0;
    if (!platform::listNetworkAdapters(adapters, error)) {
        log.logError("GetAdaptersAddresses failed. Error: " + std::to_string(error));
        return std::nullopt;
    }
    return choosePreferredAdapter(adapters, log);
}

}  // namespace tarvelmond
