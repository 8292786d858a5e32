#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "games/reader_context.h"
#include "games/shared_memory_slots.h"

// RaceRoom's block. The parse and fill functions look only at the bytes they are given.
namespace tarvelmond {

struct TelemetryRecord;

struct RaceRoomSlot : GuardedBlockSlot {
    static constexpr std::size_t kCopySize = 540;

    using GuardedBlockSlot::GuardedBlockSlot;
    // The player's data of one read, copied at once so that every value comes from the same frame.
    std::array<std::uint8_t, kCopySize> copy{};
};

enum class RaceRoomState { Driving, Paused, NotDriving, UnknownVersion, TooShort };

// How far the state words and the player's motion values lie behind where versions 2.0 to 3.2 have
// them: 3.3 inserted the game mode ahead of the state words (4 bytes for both), 3.4 a field inside the
// player's data (4 more for the motion values).
struct RaceRoomLayout {
    std::size_t stateShift = 0;
    std::size_t playerShift = 0;
};
// None for a version whose layout is not known.
std::optional<RaceRoomLayout> raceRoomLayout(std::int32_t major, std::int32_t minor);
RaceRoomState raceRoomState(BlockBytes block);
// Copies the player's data (540 bytes) and fills the record from the copy. Only for a block whose
// state is Driving.
void fillRaceRoomRecord(BlockBytes block, std::span<std::uint8_t, RaceRoomSlot::kCopySize> copy,
                        TelemetryRecord& record);
int readRaceRoom(RaceRoomSlot& slot, const ReaderContext& context);

}  // namespace tarvelmond
