#include "simclient/client_config.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <optional>

#include "platform/documents_folder.h"
#include "platform/profile_file.h"
#include "platform/text_case.h"
#include "platform/user_registry.h"

namespace tarvelmond::simclient {
namespace {

constexpr const char* kFileName = "SimConnect.cfg";
constexpr std::size_t kLongestCurrentDirectory = 260;
constexpr const char* kRegistryKey = "SOFTWARE\\Microsoft\\Microsoft Games\\KittyHawk";
constexpr std::size_t kRegistryValueBytes = 20;

// A value read as a decimal number: its leading digits (with a sign), or nothing if it has none or
// they do not fit.
std::optional<std::int64_t> decimal(const std::string& text) {
    const char* first = text.data();
    const char* const last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc()) return std::nullopt;
    return value;
}

void readFile(const std::string& file, const std::string& section, const ConfigSources& sources,
              ClientSettings& settings) {
    const auto value = [&](const char* key) { return platform::profileString(file, section, key); };
    if (const std::string protocol = value("Protocol"); !protocol.empty()) {
        if (sameIgnoringCase(protocol, "Auto") || sameIgnoringCase(protocol, "Pipe")) {
            settings.protocol = kProtocolPipe;
        } else if (sameIgnoringCase(protocol, "IPv4") || sameIgnoringCase(protocol, "IPv6")) {
            const bool ipv6 = sameIgnoringCase(protocol, "IPv6");
            settings.protocol = ipv6 ? kProtocolIpv6 : kProtocolIpv4;
            if (settings.port.empty() && sources.registryPort) sources.registryPort(ipv6, settings.port);
        }
    }
    if (std::string address = value("Address"); !address.empty()) settings.address = std::move(address);
    if (std::string port = value("Port"); !port.empty()) settings.port = std::move(port);
    // The size only ever grows: no file can make the client refuse what the default accepts.
    if (const auto size = decimal(value("MaxReceiveSize"));
        size && *size > static_cast<std::int64_t>(settings.maxReceiveSize) && *size <= 0xFFFFFFFFLL) {
        settings.maxReceiveSize = static_cast<std::uint32_t>(*size);
    }
    if (const std::string nagle = value("DisableNagle"); !nagle.empty()) {
        settings.disableNagle = decimal(nagle).value_or(0) != 0;
    }
}

}  // namespace

ConfigSources ConfigSources::system() {
    ConfigSources sources;
    for (const std::string& folder : {platform::commonDocumentsFolder(), platform::documentsFolder(),
                                      platform::currentDirectory(kLongestCurrentDirectory)}) {
        if (!folder.empty()) sources.files.push_back((std::filesystem::path(folder) / kFileName).string());
    }
    sources.registryPort = readRegistryPort;
    return sources;
}

bool readRegistryPort(bool ipv6, std::string& port) {
    port.clear();
    const auto value = platform::userRegistryString(
        kRegistryKey, ipv6 ? "SimConnect_Port_IPv6" : "SimConnect_Port_IPv4", kRegistryValueBytes);
    if (!value) return false;
    port = *value;
    return true;
}

std::string configurationSection(std::uint32_t index) {
    return index == 0 ? std::string("SimConnect") : "SimConnect." + std::to_string(index);
}

void readClientConfig(std::uint32_t index, const ConfigSources& sources, ClientSettings& settings) {
    settings = ClientSettings{};
    if (index == kDefaultsOnly) return;
    const std::string section = configurationSection(index);
    for (const std::string& file : sources.files)
        readFile(file, section, sources, settings);
}

void readClientConfig(std::uint32_t index, ClientSettings& settings) {
    readClientConfig(index, ConfigSources::system(), settings);
}

bool configurationIndexExists(std::uint32_t index, const ConfigSources& sources) {
    if (index == 0 || index == kDefaultsOnly) return true;
    const std::string section = configurationSection(index);
    return std::any_of(sources.files.begin(), sources.files.end(), [&](const std::string& file) {
        return platform::profileSectionHasEntries(file, section);
    });
}

bool configurationIndexExists(std::uint32_t index) {
    return index == 0 || index == kDefaultsOnly || configurationIndexExists(index, ConfigSources::system());
}

}  // namespace tarvelmond::simclient
