#include "games/udp_game_reader.h"

#include "games/udp_probe.h"
#include "platform/processes.h"

namespace tarvelmond {

UdpGameReader::UdpGameReader(const GameIdentity& identity, const GameServices& services)
    : GameReader(identity), probeBuffer_(services.probeBuffer) {}

bool UdpGameReader::detect() {
    const auto processes = identity().processNames;
    if (processes.empty()) return probeUdpPort(identity().udpPort, probeBuffer_);
    // A game that also has to be sending: the first of its processes found running decides.
    for (const char* name : processes) {
        if (platform::isProcessRunning(name)) return probeUdpPort(identity().udpPort, probeBuffer_);
    }
    return false;
}

int UdpGameReader::connect() {
    if (!port_) port_.emplace();
    return port_->openUdpPort(identity().udpPort);
}

int UdpGameReader::read(const ReaderContext& context) {
    return holdsChannel() ? readDatagrams(*port_, context) : 0;
}

void UdpGameReader::disconnect() {
    if (holdsChannel()) port_->closeUdpPort();
}

bool UdpGameReader::holdsChannel() const {
    return port_ && port_->isOpen();
}

}  // namespace tarvelmond
