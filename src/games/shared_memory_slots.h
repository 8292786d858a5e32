#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/shared_memory.h"

// What the readers of the games that publish their telemetry in named shared memory keep: their views
// (every one read-only) and flags, and the helpers their connections share.
namespace tarvelmond {

// A block whose game may close it while the reader holds a view: the reader tests on every read that
// the name is still published.
struct GuardedBlockSlot {
    explicit GuardedBlockSlot(const char* blockName) : blockName(blockName), name(blockName) {}

    const char* blockName;
    std::size_t size = 0;  // the view's, as connected
    platform::SharedMemory block;
    // The block's name, for the test on every read that the game still publishes it (the view alone
    // would stay valid after the game closed its block).
    platform::SharedMemoryName name;
    bool connected = false;
};

// Whether the game publishes the slot's block now. A game that closed its block and published it
// again made a new block under the same name (the slot does not hold the name, so that a closed block
// shows): the slot maps the new block in place of the old one, whose last frame stands still (where
// the system can tell the two apart; see SharedMemoryName::leadsTo).
bool followPublishedBlock(GuardedBlockSlot& slot);

using BlockBytes = std::span<const std::uint8_t>;

// The bytes a view lets the readers see.
BlockBytes viewBytes(const platform::SharedMemory& view);

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
