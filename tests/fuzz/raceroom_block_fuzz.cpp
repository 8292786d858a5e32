// RaceRoom's block of any length and content, in whatever version it claims.
#include <array>
#include <cstddef>
#include <cstdint>

#include "games/raceroom_reader.h"
#include "games/shared_memory_slots.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tarvelmond::BlockBytes block(data, size);
    tarvelmond::TelemetryRecord record;
    std::array<std::uint8_t, tarvelmond::RaceRoomSlot::kCopySize> copy{};
    if (tarvelmond::raceRoomState(block) == tarvelmond::RaceRoomState::Driving) {
        tarvelmond::fillRaceRoomRecord(block, copy, record);
    }
    // Filling is also safe for a block in any other state.
    tarvelmond::fillRaceRoomRecord(block, copy, record);
    requireFiniteRecord(record);
    return 0;
}
