#include "games/shared_memory_slots.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/processes.h"

namespace tarvelmond {

using platform::SharedMemory;
using platform::ViewAccess;

BlockBytes viewBytes(const SharedMemory& view) {
    if (!view.isOpen()) return {};
    return {view.data(), view.size()};
}

bool anyProcessRunning(std::span<const char* const> names) {
    for (const char* name : names) {
        if (platform::isProcessRunning(name)) return true;
    }
    return false;
}

std::uint32_t blockWord(const SharedMemory& block, std::size_t offset) {
    std::uint32_t word = 0;
    if (block.isOpen() && block.size() >= offset + sizeof word)
        std::memcpy(&word, block.data() + offset, sizeof word);
    return word;
}

void reportOpenFailure(const char* name) {
    std::fputs(platform::sharedMemoryExists(name) ? "Failed to map buffer\n" : "Failed to open mapping\n",
               stdout);
}

void announceBlock() {
    std::fputs("Found RRRE.exe, mapping shared memory...\n", stdout);
}

namespace {

// Maps the block the slot's name leads to now, without holding the name: holding it would keep the
// name alive, and the reader's test that the game still publishes its block could never fail.
bool mapPublishedBlock(GuardedBlockSlot& slot, std::size_t size) {
    SharedMemory published;
    if (!published.openExisting(slot.blockName, size, ViewAccess::ReadOnly)) return false;
    published.releaseName();
    slot.block = std::move(published);
    return true;
}

}  // namespace

int connectGuardedBlock(GuardedBlockSlot& slot, const char* name, std::size_t size) {
    if (!platform::sharedMemoryExists(name)) return 0;
    announceBlock();
    if (!mapPublishedBlock(slot, size)) {
        reportOpenFailure(name);
        return 0;
    }
    std::fputs("Memory mapped successfully\n", stdout);
    slot.size = size;
    slot.connected = true;
    return 1;
}

bool followPublishedBlock(GuardedBlockSlot& slot) {
    switch (slot.name.leadsTo(slot.block)) {
        case platform::SharedMemoryName::Leads::Nowhere:
            return false;
        case platform::SharedMemoryName::Leads::ToThisBlock:
            return true;
        case platform::SharedMemoryName::Leads::ToAnotherBlock:
            break;
    }
    return mapPublishedBlock(slot, slot.size);
}

void disconnectGuardedBlock(GuardedBlockSlot& slot) {
    slot.connected = false;
    slot.block.close();
}

}  // namespace tarvelmond
