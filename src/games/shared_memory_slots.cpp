#include "games/shared_memory_slots.h"

#include <cstdio>
#include <cstring>

#include "games/shared_memory_readers.h"
#include "platform/processes.h"

namespace tarvelmond {
namespace {

using platform::SharedMemory;
using platform::ViewAccess;

constexpr std::uint32_t kAcLiveStatus = 2;

std::uint32_t wordAt(const SharedMemory& block, std::size_t offset) {
    std::uint32_t word = 0;
    if (block.isOpen() && block.size() >= offset + sizeof word)
        std::memcpy(&word, block.data() + offset, sizeof word);
    return word;
}

bool raceRoomRuns() {
    return platform::isProcessRunning("RRRE64.exe") || platform::isProcessRunning("RRRE.exe");
}

bool iRacingRuns() {
    return platform::isProcessRunning("iRacingSim64DX11.exe") || platform::isProcessRunning("Iracing.exe");
}

// Assetto Corsa is live when its graphics block says so (status 2).
bool openLiveGraphics(SharedMemory& graphics) {
    return graphics.createOrOpen(kAcGraphicsBlock, kAcGraphicsSize, ViewAccess::ReadOnly) &&
           wordAt(graphics, 4) == kAcLiveStatus;
}

void closeIRacing(IRacingSlot& slot) {
    slot.dataValidEvent.close();
    slot.block.close();
    slot.lastTick = kNoTickSeen;
    slot.mapped = false;
}

// After a successful test open, a failed open-and-map is most likely the view that failed.
void reportOpenFailure(const char* name) {
    std::fputs(platform::sharedMemoryExists(name) ? "Failed to map buffer\n" : "Failed to open mapping\n",
               stdout);
}

void announceBlock() {
    std::fputs("Found RRRE.exe, mapping shared memory...\n", stdout);
}

int connectGuarded(GuardedBlockSlot& slot, const char* name, std::size_t size) {
    if (!platform::sharedMemoryExists(name)) return 0;
    announceBlock();
    if (!slot.block.openExisting(name, size, ViewAccess::ReadOnly)) {
        reportOpenFailure(name);
        slot.openFailed = true;
        return 0;
    }
    // Holding the mapping would keep its name alive, and the reader's test that the game still publishes
    // its block could never fail.
    slot.block.releaseName();
    std::fputs("Memory mapped successfully\n", stdout);
    slot.connected = true;
    slot.dataValid = true;
    slot.openFailed = false;
    return 1;
}

}  // namespace

BlockBytes viewBytes(const SharedMemory& view) {
    if (!view.isOpen()) return {};
    return {view.data(), view.size()};
}

bool detectAssettoCorsa() {
    SharedMemory graphics;
    return openLiveGraphics(graphics);
}

bool detectAssettoCorsaEvo() {
    SharedMemory physics;
    return physics.createOrOpen(kAcPhysicsBlock, kAcPhysicsSize, ViewAccess::ReadOnly) &&
           platform::isProcessRunning("AssettoCorsaEVO.exe");
}

bool detectRaceRoom() {
    if (!raceRoomRuns() || !platform::sharedMemoryExists(kRaceRoomBlock)) return false;
    announceBlock();
    return true;
}

bool detectPcars2() {
    if (!platform::sharedMemoryExists(kPcars2Block)) return false;
    announceBlock();
    return true;
}

bool detectIRacing(IRacingSlot& slot) {
    if (iRacingRuns() && platform::sharedMemoryExists(kIRacingBlock)) return true;
    closeIRacing(slot);
    return false;
}

bool detectRFactor2(RFactor2Slot& slot) {
    if (platform::isProcessRunning("rFactor2.exe") && platform::sharedMemoryExists(kRFactor2Block))
        return true;
    slot.mapped = false;
    return false;
}

bool detectTruck() {
    SharedMemory block;
    return block.createOrOpen(kTruckBlock, kTruckSize, ViewAccess::ReadOnly) &&
           platform::isProcessRunning("eurotrucks2.exe");
}

int connectAssettoCorsa(AssettoCorsaSlot& slot) {
    if (slot.physics.createOrOpen(kAcPhysicsBlock, kAcPhysicsSize, ViewAccess::ReadOnly) &&
        openLiveGraphics(slot.graphics)) {
        return 1;
    }
    disconnectAssettoCorsa(slot);
    return 0;
}

int connectAssettoCorsaEvo(AssettoCorsaEvoSlot& slot) {
    return slot.physics.createOrOpen(kAcPhysicsBlock, kAcPhysicsSize, ViewAccess::ReadOnly) ? 1 : 0;
}

int connectRaceRoom(GuardedBlockSlot& slot) {
    if (slot.connected || !raceRoomRuns()) return 0;
    if (connectGuarded(slot, kRaceRoomBlock, kRaceRoomSize) == 0) return 0;
    // The block moved between versions; one this reader does not know yields no frames, and says why.
    if (raceRoomState(viewBytes(slot.block)) == RaceRoomState::UnknownVersion) {
        std::printf("RaceRoom shared memory version %d.%d is not supported\n",
                    static_cast<int>(wordAt(slot.block, 0)), static_cast<int>(wordAt(slot.block, 4)));
    }
    return 1;
}

int connectPcars2(GuardedBlockSlot& slot) {
    if (slot.connected) return 0;
    return connectGuarded(slot, kPcars2Block, kPcars2Size);
}

int connectIRacing(IRacingSlot& slot) {
    if (slot.connected || !iRacingRuns()) {
        closeIRacing(slot);
        slot.connected = false;
        return 0;
    }
    if (!platform::sharedMemoryExists(kIRacingBlock)) {
        slot.mapped = false;
        return 0;
    }
    if (!slot.block.isOpen()) {
        slot.lastTick = kNoTickSeen;
        if (!slot.block.openExisting(kIRacingBlock, 0, ViewAccess::ReadOnly)) {
            slot.mapped = false;
            return 0;
        }
    }
    if (!slot.dataValidEvent.isOpen()) {
        slot.lastTick = kNoTickSeen;
        if (!slot.dataValidEvent.openExisting(kIRacingEvent)) {
            slot.mapped = false;
            return 0;
        }
    }
    slot.mapped = true;
    slot.connected = true;
    return 1;
}

int connectRFactor2(RFactor2Slot& slot) {
    if (slot.connected || !platform::isProcessRunning("rFactor2.exe")) {
        slot.block.close();
        slot.mapped = false;
        slot.connected = false;
        return 0;
    }
    if (!platform::sharedMemoryExists(kRFactor2Block) ||
        !slot.block.openExisting(kRFactor2Block, kRFactor2Size, ViewAccess::ReadOnly)) {
        reportOpenFailure(kRFactor2Block);
        slot.openFailed = true;
        return 0;
    }
    if (wordAt(slot.block, 0) == kRFactor2NotReady) {  // the plug-in has no data yet
        slot.block.close();
        slot.openFailed = true;
        return 0;
    }
    slot.openFailed = false;
    std::fputs("Memory mapped successfully\n", stdout);
    slot.mapped = true;
    slot.connected = true;
    // A new connection takes the game's clock as it finds it, even if a restarted session set it back.
    slot.lastTimeStamp = kNoTimeStampSeen;
    return 1;
}

int connectTruck(TruckSlot& slot) {
    return slot.block.createOrOpen(kTruckBlock, kTruckSize, ViewAccess::ReadOnly) ? 1 : 0;
}

void disconnectAssettoCorsa(AssettoCorsaSlot& slot) {
    slot.graphics.close();
    slot.physics.close();
}

void disconnectGuardedBlock(GuardedBlockSlot& slot) {
    slot.connected = false;
    slot.block.close();
    slot.dataValid = false;
}

void disconnectIRacing(IRacingSlot& slot) {
    closeIRacing(slot);
    slot.connected = false;
}

void disconnectRFactor2(RFactor2Slot& slot) {
    // The view is released too, so a stopped game source holds no mapping; the next connection maps
    // the block afresh.
    slot.block.close();
    slot.mapped = false;
    slot.connected = false;
}

}  // namespace tarvelmond
