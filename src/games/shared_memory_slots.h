#pragma once
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

#include "platform/shared_memory.h"

// What the readers of the games that publish their telemetry in named shared memory keep: their views
// (every one read-only) and flags, and the helpers their connections share.
namespace tarvelmond {

inline constexpr std::int32_t kNoTickSeen = INT_MAX;

struct AssettoCorsaSlot {
    platform::SharedMemory physics;
    platform::SharedMemory graphics;
    std::uint32_t lastPacket = 0;
};

struct AssettoCorsaEvoSlot {
    platform::SharedMemory physics;
    std::uint32_t lastPacket = 0;
};

// A block whose game may close it while the reader holds a view: the reader tests on every read that
// the name is still published.
struct GuardedBlockSlot {
    explicit GuardedBlockSlot(const char* blockName) : name(blockName) {}

    platform::SharedMemory block;
    // The block's name, for the test on every read that the game still publishes it (the view alone
    // would stay valid after the game closed its block).
    platform::SharedMemoryName name;
    bool connected = false;
    bool dataValid = false;
    bool openFailed = false;
};

struct RaceRoomSlot : GuardedBlockSlot {
    static constexpr std::size_t kCopySize = 540;

    using GuardedBlockSlot::GuardedBlockSlot;
    // The player's data of one read, copied at once so that every value comes from the same frame.
    std::array<std::uint8_t, kCopySize> copy{};
};

struct IRacingSlot {
    // Room for one data buffer; a longer buffer is copied as far as it fits (variables beyond count as
    // missing).
    static constexpr std::size_t kScratchSize = 32768;

    platform::SharedMemory block;
    platform::NamedEvent dataValidEvent;
    bool connected = false;
    bool mapped = false;
    std::int32_t lastTick = kNoTickSeen;
    std::array<std::uint8_t, kScratchSize> scratch{};
};

inline constexpr double kNoTimeStampSeen = -std::numeric_limits<double>::infinity();

struct RFactor2Slot {
    platform::SharedMemory block;
    bool connected = false;
    bool mapped = false;
    bool openFailed = false;
    double lastTimeStamp = kNoTimeStampSeen;
};

// Whether any of the processes runs.
bool anyProcessRunning(std::span<const char* const> names);

// The 32-bit word at `offset` of an open view, or 0 where the view is closed or too short.
std::uint32_t blockWord(const platform::SharedMemory& block, std::size_t offset);

// After a successful test open, a failed open-and-map is most likely the view that failed.
void reportOpenFailure(const char* name);
// The line the readers print when they find a block to map.
void announceBlock();

// Maps a guarded block that exists: 1 when its view is open.
int connectGuardedBlock(GuardedBlockSlot& slot, const char* name, std::size_t size);
void disconnectGuardedBlock(GuardedBlockSlot& slot);

}  // namespace tarvelmond
