#pragma once
#include <array>
#include <atomic>
#include <cstdint>

#include "games/game_table.h"
#include "games/telemetry_record.h"

namespace tarvelmond {

// The eighteen game slots and the record their readers fill. At most one active flag is set; the
// host's getters read the flags from other threads, hence atomics.
struct GameSource {
    std::array<std::atomic<bool>, kGameSlots> active{};
    // Each reader's on-ground flag (1: the aircraft is on the ground). Only flight simulators set it.
    std::array<std::uint32_t, kGameSlots> onGround{};
    TelemetryRecord record;

    int activeSlot() const;   // first active slot in priority order, or -1
    int groundState() const;  // on-ground flag of the active slot, or -1 with no active slot
    void clearActiveFlags();
};

int getGameId(const GameSource& source);
// Writes the active slot's display name, or "No Game online", NUL-terminated.
void getGameName(const GameSource& source, char* buffer);

}  // namespace tarvelmond
