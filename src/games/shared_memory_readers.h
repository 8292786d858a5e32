#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "games/readers.h"
#include "games/shared_memory_slots.h"

// The readers of the games that publish their telemetry in named shared memory. Each read*() works on
// the view its slot mapped and returns 1 when the record holds the game's current frame; each
// parse*() or fill*() looks only at the bytes it is given, so a view shorter than the game's layout
// (or any content at all) never makes it read outside the mapping.
namespace tarvelmond {

using BlockBytes = std::span<const std::uint8_t>;

// The bytes a slot's view lets the readers see.
BlockBytes viewBytes(const platform::SharedMemory& view);

// ---- Assetto Corsa (slot 3) and Assetto Corsa EVO (slot 16): the physics block.

// 1 when the packet number moved on (it is then remembered) and the record was filled.
int parseAssettoCorsaPhysics(BlockBytes physics, std::uint32_t& lastPacket, TelemetryRecord& record);
int readAssettoCorsa(const platform::SharedMemory& physics, std::uint32_t& lastPacket,
                     const ReaderContext& context);

// ---- RaceRoom (slot 4).

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

// ---- Project CARS 2 / Automobilista 2 (slot 9).

// Whether the game state says a session is being driven (2) and the block holds the motion fields.
bool pcars2Playing(BlockBytes block);
void fillPcars2Record(BlockBytes block, TelemetryRecord& record);
int readPcars2(GuardedBlockSlot& slot, const ReaderContext& context);

// ---- iRacing (slot 10).

// The header fields the reader uses, each checked against the mapping: the variable headers and every
// data buffer named lie wholly inside it.
struct IRacingHeader {
    static constexpr std::size_t kSize = 112;  // through the four buffer entries
    static constexpr std::size_t kMostBuffers = 4;
    static constexpr std::size_t kVariableHeaderSize = 144;
    static constexpr std::size_t kNameLength = 32;

    std::int32_t status = 0;
    std::size_t variableCount = 0;
    std::size_t variableHeaders = 0;  // offset
    std::size_t bufferCount = 0;
    std::size_t bufferLength = 0;
};

// None when the block is too short for the header, a count or offset is negative or out of range, or
// anything named lies outside the block.
std::optional<IRacingHeader> parseIRacingHeader(BlockBytes block);

struct IRacingBuffer {
    std::size_t index = 0;
    std::int32_t tick = 0;
    std::size_t offset = 0;
};
// The buffer with the highest tick count; ties keep the earlier one.
IRacingBuffer newestIRacingBuffer(BlockBytes block, const IRacingHeader& header);

struct IRacingVariable {
    std::int32_t type = 0;   // 4: 32-bit float, 5: double
    std::size_t offset = 0;  // inside a data buffer
};
// The first variable whose name is exactly `name` (up to 32 characters).
std::optional<IRacingVariable> findIRacingVariable(BlockBytes block, const IRacingHeader& header,
                                                   std::string_view name);

enum class IRacingFrame {
    NoData,     // not connected to a session, or a header that does not fit the block
    Unchanged,  // no newer tick than the last one read (a lower one has been adopted)
    NewFrame,   // the newest buffer was read into the record
};
// Reads the newest data buffer when its tick count rose: copies it into `scratch` (as far as it fits),
// fills the record and applies the gravity split. A wanted variable that the header lacks counts as no
// motion: its angle or rate is 0, and its acceleration is the gravity component alone (0 without
// gravity).
IRacingFrame parseIRacingBlock(BlockBytes block, std::int32_t& lastTick, std::span<std::uint8_t> scratch,
                               TelemetryRecord& record);
int readIRacing(IRacingSlot& slot, const ReaderContext& context);

// ---- rFactor 2 (slot 14), through the product's plug-in inside the game.

struct Attitude {
    double yawDeg = 0.0, pitchDeg = 0.0, rollDeg = 0.0;
};
// Heading, pitch and roll of the car from its orientation matrix (nine values, row by row).
Attitude rFactor2Attitude(const std::array<double, 9>& m);
// 1 when the time stamp moved forward (it is then remembered) and the record was filled. A time stamp
// that went back (the game restarted its session) is adopted without reading.
int parseRFactor2Block(BlockBytes block, double& lastTimeStamp, TelemetryRecord& record);
int readRFactor2(RFactor2Slot& slot, const ReaderContext& context);

// ---- Euro Truck Simulator 2 / American Truck Simulator (slot 17).

// 1 when the running flag is set and the record was filled.
int parseTruckBlock(BlockBytes block, TelemetryRecord& record);
int readTruck(const platform::SharedMemory& block, const ReaderContext& context);

}  // namespace tarvelmond
