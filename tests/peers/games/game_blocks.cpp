#include "game_blocks.h"

#include <bit>
#include <cstring>

namespace tarvelmond::emulator {
namespace {

// Builders never write past the block they are given: a field that would not fit is left out.
template <typename T>
void put(BlockSpan block, std::size_t offset, T value) {
    if (offset > block.size() || block.size() - offset < sizeof value) return;
    std::memcpy(block.data() + offset, &value, sizeof value);
}

void putFloat3(BlockSpan block, std::size_t offset, const Float3& v) {
    for (std::size_t i = 0; i < 3; ++i)
        putF32(block, offset + 4 * i, v[i]);
}

void putDouble3(BlockSpan block, std::size_t offset, const Double3& v) {
    for (std::size_t i = 0; i < 3; ++i)
        putF64(block, offset + 8 * i, v[i]);
}

bool atLeast(const R3eBlock& r3e, std::int32_t major, std::int32_t minor) {
    return r3e.versionMajor > major || (r3e.versionMajor == major && r3e.versionMinor >= minor);
}

}  // namespace

void putI32(BlockSpan block, std::size_t offset, std::int32_t value) {
    put(block, offset, value);
}
void putU32(BlockSpan block, std::size_t offset, std::uint32_t value) {
    put(block, offset, value);
}
void putF32(BlockSpan block, std::size_t offset, float value) {
    put(block, offset, value);
}
void putF64(BlockSpan block, std::size_t offset, double value) {
    put(block, offset, value);
}

// SPageFilePhysics: packetId 0, accG 44, heading/pitch/roll 208, localAngularVel 296, localVelocity 568.
void writeAcPhysics(BlockSpan block, const AcPhysics& physics) {
    putI32(block, 0, physics.packetId);
    putFloat3(block, 44, physics.accG);
    putF32(block, 208, physics.heading);
    putF32(block, 212, physics.pitch);
    putF32(block, 216, physics.roll);
    putFloat3(block, 296, physics.localAngularVel);
    putFloat3(block, 568, physics.localVelocity);
}

// SPageFileGraphic: packetId 0, status 4 (0 off, 1 replay, 2 live, 3 pause).
void writeAcGraphics(BlockSpan block, std::int32_t packetId, std::int32_t status) {
    putI32(block, 0, packetId);
    putI32(block, 4, status);
}

// The block as the game's published header (r3e.h, packed) lays it out in each API version:
// - 1.x: game_paused 16, game_in_menus 20, the player's data at 24 (no replay flag);
// - 2.x to 3.2: game_paused 16, game_in_menus 20, game_in_replay 24, game_using_vr 28, the player at 36;
// - 3.3: game_mode inserted at 16, so game_paused 20, game_in_menus 24, game_in_replay 28,
//   game_using_vr 32, the player at 40;
// - 3.4 and later: as 3.3, and the player's data opens with user_id, moving its fields by 4.
// The player's fields, from the start of its data (before user_id): game_simulation_ticks 0,
// game_simulation_time 4, position 12, velocity 36, local_velocity 60, acceleration 84,
// local_acceleration 108, orientation 132, rotation 156, angular_acceleration 180, angular_velocity
// (world) 204, local_angular_velocity 228; each vector three doubles.
void writeR3e(BlockSpan block, const R3eBlock& r3e) {
    putI32(block, 0, r3e.versionMajor);
    putI32(block, 4, r3e.versionMinor);
    std::size_t player = 24;
    if (r3e.versionMajor == 1) {
        putI32(block, 16, r3e.gamePaused);
        putI32(block, 20, r3e.gameInMenus);
    } else if (!atLeast(r3e, 3, 3)) {
        putI32(block, 16, r3e.gamePaused);
        putI32(block, 20, r3e.gameInMenus);
        putI32(block, 24, r3e.gameInReplay);
        putI32(block, 28, r3e.gameUsingVr);
        player = 36;
    } else {
        putI32(block, 16, r3e.gameMode);
        putI32(block, 20, r3e.gamePaused);
        putI32(block, 24, r3e.gameInMenus);
        putI32(block, 28, r3e.gameInReplay);
        putI32(block, 32, r3e.gameUsingVr);
        player = 40;
    }
    if (atLeast(r3e, 3, 4)) {
        putI32(block, player, r3e.userId);
        player += 4;
    }
    putI32(block, player, r3e.simulationTicks);
    putF64(block, player + 4, r3e.simulationTicks / 400.0);
    putDouble3(block, player + 60, r3e.localVelocity);
    putDouble3(block, player + 108, r3e.localAcceleration);
    putDouble3(block, player + 132, r3e.orientation);
    putDouble3(block, player + 180, r3e.angularAcceleration);
    putDouble3(block, player + 204, r3e.angularVelocity);
    putDouble3(block, player + 228, r3e.localAngularVelocity);
}

// SharedMemory: version 0, build 4, game state 8; orientation 6908, local velocity 6920, world velocity
// 6932, angular velocity 6944, local acceleration 6956.
void writePcars2(BlockSpan block, const Pcars2Block& pcars2) {
    putU32(block, 0, 2);  // the layout's version
    putU32(block, 8, pcars2.gameState);
    putFloat3(block, 6908, pcars2.orientation);
    putFloat3(block, 6920, pcars2.localVelocity);
    putFloat3(block, 6944, pcars2.angularVelocity);
    putFloat3(block, 6956, pcars2.localAcceleration);
}

// ---- iRacing

namespace {

constexpr std::size_t kHeaderBytes = 112;
constexpr std::size_t kSessionInfo = kHeaderBytes;  // the session text follows the header
constexpr std::size_t kSessionInfoBytes = 4096;
constexpr std::size_t kVariableHeaders = kSessionInfo + kSessionInfoBytes;
constexpr std::size_t kVariableHeaderBytes = 144;
constexpr std::size_t kFirstBuffer = 0x20000;  // buffers start on their own pages
constexpr std::size_t kBufferEntry = 48;

std::size_t typeSize(std::int32_t type) {
    return type == 5 ? 8 : type == 0 || type == 1 ? 1 : 4;
}

std::size_t bufferOffset(std::size_t buffer) {
    return kFirstBuffer + buffer * 0x1000;
}

}  // namespace

IRacingBlockWriter::IRacingBlockWriter(std::uint32_t missing) {
    struct Listed {
        const char* name;
        std::int32_t type, count;
        int wanted;
    };
    // In the game's order: the 360 Hz variants come before the 60 Hz values they share a prefix with.
    const Listed listed[] = {
        {"SessionTime", 5, 1, -1},
        {"SessionTick", 2, 1, -1},
        {"Speed", 4, 1, -1},
        {"Yaw", 4, 1, kYaw},
        {"YawNorth", 4, 1, -1},
        {"Pitch", 4, 1, kPitch},
        {"Roll", 4, 1, kRoll},
        {"YawRate_ST", 4, 6, -1},
        {"PitchRate_ST", 4, 6, -1},
        {"RollRate_ST", 4, 6, -1},
        {"YawRate", 4, 1, kYawRate},
        {"PitchRate", 4, 1, kPitchRate},
        {"RollRate", 4, 1, kRollRate},
        {"VertAccel_ST", 4, 6, -1},
        {"LatAccel_ST", 4, 6, -1},
        {"LongAccel_ST", 4, 6, -1},
        {"VertAccel", 4, 1, kVertAccel},
        {"LatAccel", 4, 1, kLatAccel},
        {"LongAccel", 4, 1, kLongAccel},
        {"RPM", 4, 1, -1},
    };
    std::size_t offset = 0;
    for (const Listed& l : listed) {
        if (l.wanted >= 0 && (missing >> l.wanted & 1U) != 0) continue;
        variables_[count_++] = {l.name, l.type, l.count, offset, l.wanted};
        offset += typeSize(l.type) * static_cast<std::size_t>(l.count);
    }
    bufferLength_ = offset;
}

// irsdk_header: ver 0, status 4, tickRate 8, sessionInfoUpdate 12, sessionInfoLen 16, sessionInfoOffset
// 20, numVars 24, varHeaderOffset 28, numBuf 32, bufLen 36, then four buffer entries of 16 bytes from 48
// (tickCount, bufOffset). irsdk_varHeader: type 0, offset 4, count 8, countAsTime 12, name 16 (32),
// desc 48 (64), unit 112 (32).
void IRacingBlockWriter::writeHeader(BlockSpan block, std::int32_t status) const {
    putI32(block, 0, 2);
    putI32(block, 4, status);
    putI32(block, 8, 60);
    putI32(block, 12, 1);
    putI32(block, 16, static_cast<std::int32_t>(kSessionInfoBytes));
    putI32(block, 20, static_cast<std::int32_t>(kSessionInfo));
    putI32(block, 24, static_cast<std::int32_t>(count_));
    putI32(block, 28, static_cast<std::int32_t>(kVariableHeaders));
    putI32(block, 32, static_cast<std::int32_t>(kBuffers));
    putI32(block, 36, static_cast<std::int32_t>(bufferLength_));
    for (std::size_t b = 0; b < kBuffers; ++b) {
        putI32(block, kBufferEntry + 16 * b, 0);
        putI32(block, kBufferEntry + 16 * b + 4, static_cast<std::int32_t>(bufferOffset(b)));
    }
    const char session[] = "---\nWeekendInfo:\n TrackName: emulated\n...\n";
    if (block.size() >= kSessionInfo + sizeof session)
        std::memcpy(block.data() + kSessionInfo, session, sizeof session);
    for (std::size_t i = 0; i < count_; ++i) {
        const Variable& v = variables_[i];
        const std::size_t entry = kVariableHeaders + i * kVariableHeaderBytes;
        if (block.size() < entry + kVariableHeaderBytes) break;
        std::memset(block.data() + entry, 0, kVariableHeaderBytes);
        putI32(block, entry, v.type);
        putI32(block, entry + 4, static_cast<std::int32_t>(v.offset));
        putI32(block, entry + 8, v.count);
        std::memcpy(block.data() + entry + 16, v.name, std::strlen(v.name));
    }
}

void IRacingBlockWriter::setStatus(BlockSpan block, std::int32_t status) const {
    putI32(block, 4, status);
}

void IRacingBlockWriter::writeFrame(BlockSpan block, std::int32_t tick, const IRacingValues& values) {
    const std::size_t buffer = nextBuffer_;
    nextBuffer_ = (nextBuffer_ + 1) % kBuffers;
    const std::size_t base = bufferOffset(buffer);
    for (std::size_t i = 0; i < count_; ++i) {
        const Variable& v = variables_[i];
        if (v.wanted >= 0) {
            putF32(block, base + v.offset, values[static_cast<std::size_t>(v.wanted)]);
        } else if (v.type == 4) {
            for (std::int32_t k = 0; k < v.count; ++k)  // filler that is no wanted value
                putF32(block, base + v.offset + 4 * static_cast<std::size_t>(k), 1234.5f);
        } else if (v.type == 2) {
            putI32(block, base + v.offset, tick);
        } else if (v.type == 5) {
            putF64(block, base + v.offset, tick / 60.0);
        }
    }
    putI32(block, kBufferEntry + 16 * buffer, tick);
}

// The plug-in's block: marker or header word 0, time stamp 12, local velocity 184, local acceleration
// 208, orientation 232 (nine doubles), local rotation 304, local rotational acceleration 328.
void writeRFactor2(BlockSpan block, const RFactor2Block& rf2) {
    putU32(block, 0, rf2.firstWord);
    putF64(block, 12, rf2.timeStamp);
    putDouble3(block, 184, rf2.localVelocity);
    putDouble3(block, 208, rf2.localAcceleration);
    for (std::size_t i = 0; i < rf2.orientation.size(); ++i)
        putF64(block, 232 + 8 * i, rf2.orientation[i]);
    putDouble3(block, 304, rf2.localRotation);
    putDouble3(block, 328, rf2.localRotationAccel);
}

// Packed: running flag 0, heading/pitch/roll 25, speed 41, engine rpm 45, linear velocity 69, angular
// velocity 81, linear acceleration 93, angular acceleration 105.
void writeTruck(BlockSpan block, const TruckBlock& truck) {
    if (!block.empty()) block[0] = truck.running;
    putF32(block, 25, truck.heading);
    putF32(block, 29, truck.pitch);
    putF32(block, 33, truck.roll);
    putF32(block, 41, truck.speed);
    putF32(block, 45, truck.rpm);
    putFloat3(block, 69, truck.linearVelocity);
    putFloat3(block, 81, truck.angularVelocity);
    putFloat3(block, 93, truck.linearAcceleration);
    putFloat3(block, 105, truck.angularAcceleration);
}

}  // namespace tarvelmond::emulator
