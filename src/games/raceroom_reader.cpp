// RaceRoom: the "$R3E" block. It opens with its version (major at 0, minor at 4) and the game's state:
// paused, in menus, in a replay at 16, 20, 24 up to version 3.2; 3.3 put the game mode at 16, so from
// there they are at 20, 24, 28. The player's high-precision data follows. That data starts at 36 up to
// version 3.2; 3.3 put it at 40, and 3.4 added a field inside it before the motion values, so from there
// those sit 8 bytes later than in the old layout. Values are doubles in SI units and radians; the game's
// lateral and longitudinal axes and its heading run opposite to the record's.
//
// The rates are the car-frame angular velocity (the block's local angular velocity, which every
// published version has). The block's other angular velocity is on the world axes: fed to the rig, a
// car heading sideways would turn its pitching into roll.
#include "games/raceroom_reader.h"

#include <cstdio>
#include <cstring>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

// The state words and where the player's data starts, in the layout of versions 2.0 to 3.2.
constexpr std::size_t kPaused = 16;
constexpr std::size_t kInMenus = 20;
constexpr std::size_t kInReplay = 24;
constexpr std::size_t kPlayerStart = 36;

// Offsets of the motion values in that old layout; the copy starts at kPlayerStart (plus the shift).
constexpr std::size_t inCopy(std::size_t offset) {
    return offset - kPlayerStart;
}

}  // namespace

std::optional<RaceRoomLayout> raceRoomLayout(std::int32_t major, std::int32_t minor) {
    if (minor < 0) return std::nullopt;
    if (major == 2) return RaceRoomLayout{};
    if (major != 3) return std::nullopt;  // a new major version may move anything
    if (minor <= 2) return RaceRoomLayout{};
    if (minor == 3) return RaceRoomLayout{.stateShift = 4, .playerShift = 4};
    return RaceRoomLayout{.stateShift = 4, .playerShift = 8};
}

RaceRoomState raceRoomState(BlockBytes block) {
    const ByteView bytes(block);
    const auto major = bytes.i32le(0);
    const auto minor = bytes.i32le(4);
    if (!major || !minor) return RaceRoomState::TooShort;
    const auto layout = raceRoomLayout(*major, *minor);
    if (!layout) return RaceRoomState::UnknownVersion;
    if (!bytes.has(kPlayerStart + layout->playerShift, RaceRoomSlot::kCopySize))
        return RaceRoomState::TooShort;
    const auto flag = [&](std::size_t offset) { return bytes.i32le(offset + layout->stateShift) == 1; };
    if (flag(kPaused)) return RaceRoomState::Paused;
    if (flag(kInMenus) || flag(kInReplay)) return RaceRoomState::NotDriving;
    return RaceRoomState::Driving;
}

void fillRaceRoomRecord(BlockBytes block, std::span<std::uint8_t, RaceRoomSlot::kCopySize> copy,
                        TelemetryRecord& record) {
    const ByteView header(block);
    const auto layout = raceRoomLayout(header.i32le(0).value_or(-1), header.i32le(4).value_or(-1));
    if (!layout || !header.has(kPlayerStart + layout->playerShift, copy.size())) return;
    std::memcpy(copy.data(), block.data() + kPlayerStart + layout->playerShift, copy.size());
    const ByteView bytes(copy);
    const auto value = [&](std::size_t offset) { return bytes.f64le(inCopy(offset)); };
    record.set(Channel::lateral_speed, -value(96));
    record.set(Channel::longitu_speed, -value(112));
    record.set(Channel::vertica_speed, value(104));
    record.set(Channel::lateral_accel, -value(144));
    record.set(Channel::longitu_accel, -value(160));
    record.set(Channel::vertica_accel, value(152));
    record.set(Channel::yaw_position, -value(176) * kRadToDeg);
    record.set(Channel::roll_position, value(184) * kRadToDeg);
    record.set(Channel::pitch_position, value(168) * kRadToDeg);
    record.set(Channel::yaw_speed, -value(272) * kRadToDeg);
    record.set(Channel::roll_speed, value(280) * kRadToDeg);
    record.set(Channel::pitch_speed, value(264) * kRadToDeg);
    record.set(Channel::yaw_accel, -value(224) * kRadToDeg);
    record.set(Channel::roll_accel, value(232) * kRadToDeg);
    record.set(Channel::pitch_accel, value(216) * kRadToDeg);
}

int readRaceRoom(RaceRoomSlot& slot, const ReaderContext& context) {
    // The view outlives a game that closed its block; only the name tells that it is gone.
    if (!slot.connected || !slot.block.isOpen() || !followPublishedBlock(slot)) return 0;
    const BlockBytes block = viewBytes(slot.block);
    if (raceRoomState(block) != RaceRoomState::Driving) return 0;
    fillRaceRoomRecord(block, slot.copy, context.record);
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

constexpr const char* kBlock = "$R3E";
constexpr std::size_t kBlockSize = 39320;
constexpr const char* kBlocks[] = {kBlock};
constexpr const char* kProcesses[] = {"RRRE64.exe", "RRRE.exe"};
constexpr GameIdentity kIdentity{kRaceRoom, "RaceRoom", 0, kBlocks, kProcesses};

class RaceRoomReader final : public GameReader {
  public:
    RaceRoomReader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override {
        if (!anyProcessRunning(identity().processNames) || !platform::sharedMemoryExists(kBlock))
            return false;
        announceBlock();
        return true;
    }
    int connect() override {
        if (slot_.connected || !anyProcessRunning(identity().processNames)) return 0;
        if (connectGuardedBlock(slot_, kBlock, kBlockSize) == 0) return 0;
        // The block moved between versions; one this reader does not know yields no frames, and says why.
        if (raceRoomState(viewBytes(slot_.block)) == RaceRoomState::UnknownVersion) {
            std::printf("RaceRoom shared memory version %d.%d is not supported\n",
                        static_cast<int>(blockWord(slot_.block, 0)),
                        static_cast<int>(blockWord(slot_.block, 4)));
        }
        return 1;
    }
    int read(const ReaderContext& context) override { return readRaceRoom(slot_, context); }
    void disconnect() override { disconnectGuardedBlock(slot_); }
    bool holdsChannel() const override { return slot_.block.isOpen(); }

  private:
    RaceRoomSlot slot_{kBlock};
};

}  // namespace

extern const GameEntry kRaceRoomGame;
const GameEntry kRaceRoomGame{kIdentity, makeReader<kIdentity, RaceRoomReader>};

}  // namespace tarvelmond
