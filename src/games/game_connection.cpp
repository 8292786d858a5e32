// Opening and closing the active slot's telemetry channel.
#include "games/game_source.h"
#include "games/nolimits_link.h"

namespace tarvelmond {
namespace {

bool isUdpSlot(int slot) {
    return udpGamePort(slot) != 0;
}

int connectUdp(GameSource& source, int slot) {
    std::optional<UdpPort>& port = source.udpPorts[static_cast<std::size_t>(slot)];
    if (!port) port.emplace();
    return port->openUdpPort(udpGamePort(slot));
}

FlightSimSlot& flightSimSlot(GameSource& source, int slot) {
    return slot == kMsfs2020 ? source.msfs2020 : source.msfs2024;
}

}  // namespace

int connectGame(GameSource& source) {
    const int slot = source.activeSlot();
    if (slot < 0) return 0;
    if (isUdpSlot(slot)) return connectUdp(source, slot);
    SharedMemorySlots& memory = source.sharedMemory;
    switch (slot) {
        case kMsfs2020:
        case kMsfs2024:
            return connectFlightSim(source.simClient, flightSimSlot(source, slot));
        case kAssettoCorsa:
            return connectAssettoCorsa(memory.assettoCorsa);
        case kAssettoCorsaEvo:
            return connectAssettoCorsaEvo(memory.assettoCorsaEvo);
        case kRaceRoom:
            return connectRaceRoom(memory.raceRoom);
        case kNoLimits2:
            return connectNoLimits(source.noLimits);
        case kPcars2:
            return connectPcars2(memory.pcars2);
        case kIRacing:
            return connectIRacing(memory.iRacing);
        case kRFactor2:
            return connectRFactor2(memory.rFactor2);
        case kEts2:
            return connectTruck(memory.truck);
        default:
            return 0;
    }
}

int disconnectGame(GameSource& source) {
    const int slot = source.activeSlot();
    if (slot < 0) return 0;
    SharedMemorySlots& memory = source.sharedMemory;
    if (isUdpSlot(slot)) {
        if (std::optional<UdpPort>& port = source.udpPorts[static_cast<std::size_t>(slot)];
            port && port->isOpen()) {
            port->closeUdpPort();
        }
    } else {
        switch (slot) {
            case kMsfs2020:
            case kMsfs2024:
                closeFlightSim(source.simClient, flightSimSlot(source, slot));
                break;
            case kAssettoCorsa:
                disconnectAssettoCorsa(memory.assettoCorsa);
                break;
            case kAssettoCorsaEvo:
                memory.assettoCorsaEvo.physics.close();
                break;
            case kEts2:
                memory.truck.block.close();
                break;
            case kRaceRoom:
                disconnectGuardedBlock(memory.raceRoom);
                break;
            case kPcars2:
                disconnectGuardedBlock(memory.pcars2);
                break;
            case kIRacing:
                disconnectIRacing(memory.iRacing);
                break;
            case kNoLimits2:
                disconnectNoLimits(source.noLimits);
                break;
            case kRFactor2:
                disconnectRFactor2(memory.rFactor2);
                break;
            default:
                break;
        }
    }
    source.active[static_cast<std::size_t>(slot)].store(false);
    return 1;
}

void releaseIdleChannels(GameSource& source) {
    closeFlightSim(source.simClient, source.msfs2020);
    closeFlightSim(source.simClient, source.msfs2024);
    if (source.simClient.closeAll != nullptr) source.simClient.closeAll();
}

bool keepPausedSimulator(GameSource& source, const std::atomic<bool>* keepSearching) {
    if (source.activeSlot() != kMsfs2020) return false;
    if (detectGame(source, keepSearching) == 1 && source.activeSlot() == kMsfs2020 &&
        connectGame(source) == 1) {
        return true;
    }
    closeFlightSim(source.simClient, source.msfs2020);
    return false;
}

}  // namespace tarvelmond
