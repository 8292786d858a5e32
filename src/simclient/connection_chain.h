#pragma once
#include <atomic>
#include <functional>
#include <string>

#include "platform/stream.h"
#include "simclient/client_config.h"

// Opening the connection the settings describe, with the fallbacks a local simulator needs: the
// simulator may listen on its pipe, on ::1 or on 127.0.0.1 (at the ports it records in the registry),
// and a client configured for one of them goes on to the next only while it is aiming at this
// machine.
namespace tarvelmond::simclient {

// The transport steps the chain takes; the system's by default.
struct ChainSteps {
    std::function<platform::Stream(const std::string& path)> openPipe;
    std::function<platform::Stream(platform::TcpFamily, const std::string& address, const std::string& port)>
        connectTcp;
    std::function<bool(bool ipv6, std::string& port)> registryPort;

    // The real pipe, TCP and registry, each connect waiting at most 5 s (a busy pipe as long) and
    // giving up as soon as `cancel` is set.
    static ChainSteps system(const std::atomic<bool>* cancel);
};

// The pipe path for a server name (empty: this machine) and pipe name (empty: the simulator's).
std::string pipePath(const std::string& address, const std::string& port);

// Runs the chain from the stage the protocol names: a connected stream, or an invalid one when every
// stage it reached failed.
platform::Stream connectTransport(ClientSettings settings, const ChainSteps& steps);

}  // namespace tarvelmond::simclient
