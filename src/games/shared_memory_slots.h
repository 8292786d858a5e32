#pragma once
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "platform/shared_memory.h"

// The games that publish their telemetry in named shared memory: the blocks and flags that detection
// and connection open and set, and that the readers use. Every view is read-only.
namespace tarvelmond {

inline constexpr std::int32_t kNoTickSeen = INT_MAX;

// Block names and sizes as the games publish them.
inline constexpr const char* kAcPhysicsBlock = "Local\\acpmf_physics";
inline constexpr const char* kAcGraphicsBlock = "Local\\acpmf_graphics";
inline constexpr std::size_t kAcPhysicsSize = 712;
inline constexpr std::size_t kAcGraphicsSize = 1320;
inline constexpr const char* kRaceRoomBlock = "$R3E";
inline constexpr std::size_t kRaceRoomSize = 39320;
inline constexpr const char* kPcars2Block = "$pcars2$";
inline constexpr std::size_t kPcars2Size = 20700;
inline constexpr const char* kIRacingBlock = "Local\\IRSDKMemMapFileName";
inline constexpr const char* kIRacingEvent = "Local\\IRSDKDataValidEvent";
inline constexpr const char* kRFactor2Block = "Local\\Tarvelmond_rf2_data";
inline constexpr std::size_t kRFactor2Size = 1888;
inline constexpr std::uint32_t kRFactor2NotReady = 1234567890u;
inline constexpr const char* kTruckBlock = "SCSTelemetryExample";
inline constexpr std::size_t kTruckSize = 177;

struct AssettoCorsaSlot {  // slot 3
    platform::SharedMemory physics;
    platform::SharedMemory graphics;
    std::uint32_t lastPacket = 0;
};

struct AssettoCorsaEvoSlot {  // slot 16
    platform::SharedMemory physics;
    std::uint32_t lastPacket = 0;
};

struct GuardedBlockSlot {  // slots 4 (RaceRoom) and 9 (Project CARS 2 / Automobilista 2)
    explicit GuardedBlockSlot(const char* blockName) : name(blockName) {}

    platform::SharedMemory block;
    // The block's name, for the test on every read that the game still publishes it (the view alone
    // would stay valid after the game closed its block).
    platform::SharedMemoryName name;
    bool connected = false;
    bool dataValid = false;
    bool openFailed = false;
};

struct RaceRoomSlot : GuardedBlockSlot {  // slot 4
    static constexpr std::size_t kCopySize = 540;

    RaceRoomSlot() : GuardedBlockSlot(kRaceRoomBlock) {}
    // The player's data of one read, copied at once so that every value comes from the same frame.
    std::array<std::uint8_t, kCopySize> copy{};
};

struct IRacingSlot {  // slot 10
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

struct RFactor2Slot {  // slot 14
    platform::SharedMemory block;
    bool connected = false;
    bool mapped = false;
    bool openFailed = false;
    double lastTimeStamp = kNoTimeStampSeen;
};

struct TruckSlot {  // slot 17
    platform::SharedMemory block;
};

struct SharedMemorySlots {
    AssettoCorsaSlot assettoCorsa;
    AssettoCorsaEvoSlot assettoCorsaEvo;
    RaceRoomSlot raceRoom;
    GuardedBlockSlot pcars2{kPcars2Block};
    IRacingSlot iRacing;
    RFactor2Slot rFactor2;
    TruckSlot truck;
};

// Detection tests (true: the game is there). Only the iRacing and rFactor 2 tests change slot state.
bool detectAssettoCorsa();
bool detectAssettoCorsaEvo();
bool detectRaceRoom();
bool detectPcars2();
bool detectIRacing(IRacingSlot& slot);
bool detectRFactor2(RFactor2Slot& slot);
bool detectTruck();

// Connections: 1 when the slot's block is open for its reader, 0 otherwise.
int connectAssettoCorsa(AssettoCorsaSlot& slot);
int connectAssettoCorsaEvo(AssettoCorsaEvoSlot& slot);
int connectRaceRoom(GuardedBlockSlot& slot);
int connectPcars2(GuardedBlockSlot& slot);
int connectIRacing(IRacingSlot& slot);
int connectRFactor2(RFactor2Slot& slot);
int connectTruck(TruckSlot& slot);

void disconnectAssettoCorsa(AssettoCorsaSlot& slot);
void disconnectGuardedBlock(GuardedBlockSlot& slot);
void disconnectIRacing(IRacingSlot& slot);
void disconnectRFactor2(RFactor2Slot& slot);

}  // namespace tarvelmond
