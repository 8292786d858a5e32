#include "simclient/connection_chain.h"

#include <chrono>

namespace tarvelmond::simclient {
namespace {

constexpr std::chrono::milliseconds kOpenLimit{5000};

enum class Stage { Pipe, Ipv6, Ipv4, FinalPipe };

Stage firstStage(std::uint32_t protocol) {
    switch (protocol) {
        case kProtocolIpv6:
            return Stage::Ipv6;
        case kProtocolIpv4:
            return Stage::Ipv4;
        default:
            return Stage::Pipe;
    }
}

}  // namespace

ChainSteps ChainSteps::system(const std::atomic<bool>* cancel) {
    const platform::OpenLimits limits{kOpenLimit, cancel};
    return {
        .openPipe = [limits](const std::string& path) { return platform::openPipe(path, limits); },
        .connectTcp =
            [limits](platform::TcpFamily family, const std::string& address, const std::string& port) {
                return platform::connectTcp(family, address, port, limits);
            },
        .registryPort = readRegistryPort,
    };
}

std::string pipePath(const std::string& address, const std::string& port) {
    const std::string server = address.empty() ? "." : address;
    const std::string name = port.empty() ? "Microsoft Flight Simulator\\SimConnect" : port;
    return "\\\\" + server + "\\pipe\\" + name;
}

platform::Stream connectTransport(ClientSettings settings, const ChainSteps& steps) {
    std::string& address = settings.address;
    std::string& port = settings.port;
    Stage stage = firstStage(settings.protocol);
    for (;;) {
        switch (stage) {
            case Stage::Pipe: {
                if (platform::Stream stream = steps.openPipe(pipePath(address, port)); stream.valid()) {
                    return stream;
                }
                if (!address.empty() && address != ".") return {};
                address = "::1";
                steps.registryPort(true, port);
                stage = Stage::Ipv6;
                break;
            }
            case Stage::Ipv6: {
                if (!port.empty()) {
                    platform::Stream stream = steps.connectTcp(platform::TcpFamily::Ipv6, address, port);
                    if (stream.valid()) return stream;
                }
                if (address != "::1") return {};
                address = "127.0.0.1";
                steps.registryPort(false, port);
                stage = Stage::Ipv4;
                break;
            }
            case Stage::Ipv4: {
                if (!port.empty()) {
                    platform::Stream stream = steps.connectTcp(platform::TcpFamily::Ipv4, address, port);
                    if (stream.valid()) return stream;
                }
                if (address != "127.0.0.1") return {};
                address = ".";
                port.clear();
                stage = Stage::FinalPipe;
                break;
            }
            case Stage::FinalPipe:
                return steps.openPipe(pipePath(address, port));
        }
    }
}

}  // namespace tarvelmond::simclient
