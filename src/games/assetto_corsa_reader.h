#pragma once
#include <cstdint>

#include "games/reader_context.h"
#include "games/shared_memory_slots.h"

// Assetto Corsa and Assetto Corsa EVO: the physics block. parse*() looks only at the bytes it is given.
namespace tarvelmond {

struct TelemetryRecord;

struct AssettoCorsaSlot {
    platform::SharedMemory physics;
    platform::SharedMemory graphics;
    std::uint32_t lastPacket = 0;
};

struct AssettoCorsaEvoSlot {
    platform::SharedMemory physics;
    std::uint32_t lastPacket = 0;
};

// 1 when the packet number moved on (it is then remembered) and the record was filled.
int parseAssettoCorsaPhysics(BlockBytes physics, std::uint32_t& lastPacket, TelemetryRecord& record);
int readAssettoCorsa(const platform::SharedMemory& physics, std::uint32_t& lastPacket,
                     const ReaderContext& context);

}  // namespace tarvelmond
