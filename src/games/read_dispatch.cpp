// Hands the record to the active slot's reader.
#include "games/flight_sim_reader.h"
#include "games/game_source.h"
#include "games/readers.h"
#include "games/shared_memory_readers.h"

namespace tarvelmond {

int readGameFrame(GameSource& source) {
    const int slot = source.activeSlot();
    if (slot < 0) return 0;
    const auto index = static_cast<std::size_t>(slot);
    const ReaderContext context{source.timers[index], source.record, source.onGround[index]};
    SharedMemorySlots& memory = source.sharedMemory;
    std::optional<UdpPort>& port = source.udpPorts[index];
    const bool portOpen = port && port->isOpen();
    int result = 0;
    switch (slot) {
        case kXplane:
            result = portOpen ? readXplane(*port, context) : 0;
            break;
        case kDcs:
            result = portOpen ? readDcs(*port, context) : 0;
            break;
        case kDirtRally2:
            result = portOpen ? readDirtRally(*port, context, source.dirtRally) : 0;
            break;
        case kCondor2:
            result = portOpen ? readCondor(*port, context, source.condor) : 0;
            break;
        case kF1:
            result = portOpen ? readF1(*port, context) : 0;
            break;
        case kWrc:
            result = portOpen ? readWrc(*port, context, source.wrc) : 0;
            break;
        case kBeamNg:
            result = portOpen ? readBeamNg(*port, context) : 0;
            break;
        case kLfs:
            result = portOpen ? readLfs(*port, context) : 0;
            break;
        case kNoLimits2:
            result = readNoLimits(source.noLimits, context);
            break;
        case kAssettoCorsa:
            result = readAssettoCorsa(memory.assettoCorsa.physics, memory.assettoCorsa.lastPacket, context);
            break;
        case kAssettoCorsaEvo:
            result =
                readAssettoCorsa(memory.assettoCorsaEvo.physics, memory.assettoCorsaEvo.lastPacket, context);
            break;
        case kRaceRoom:
            result = readRaceRoom(memory.raceRoom, context);
            break;
        case kPcars2:
            result = readPcars2(memory.pcars2, context);
            break;
        case kIRacing:
            result = readIRacing(memory.iRacing, context);
            break;
        case kRFactor2:
            result = readRFactor2(memory.rFactor2, context);
            break;
        case kEts2:
            result = readTruck(memory.truck.block, context);
            break;
        case kMsfs2020:
            result = readFlightSim(source.simClient, source.msfs2020, context);
            break;
        case kMsfs2024:
            result = readFlightSim(source.simClient, source.msfs2024, context);
            break;
        default:
            result = 0;
            break;
    }
    return result != 0 ? 1 : 0;
}

}  // namespace tarvelmond
