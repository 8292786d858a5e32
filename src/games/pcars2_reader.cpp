// Project CARS 2 and Automobilista 2: the "$pcars2$" block. The game state (u32 at 8) is 2 while a
// session is driven; the motion values are floats in SI units and radians.
#include "games/pcars2_reader.h"

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/float_fields.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

constexpr std::uint32_t kPlaying = 2;
// The last field read (local acceleration z at 6964) ends here.
constexpr std::size_t kFieldsEnd = 6968;

// The motion fields: floats in SI units and radians; heading and yaw rate reversed.
constexpr FloatField kMotionFields[] = {
    {Channel::lateral_accel, 6956, 1.0},       {Channel::longitu_accel, 6960, 1.0},
    {Channel::vertica_accel, 6964, 1.0},       {Channel::lateral_speed, 6920, 1.0},
    {Channel::longitu_speed, 6924, 1.0},       {Channel::vertica_speed, 6928, 1.0},
    {Channel::yaw_speed, 6944, -kRadToDeg},    {Channel::roll_speed, 6948, kRadToDeg},
    {Channel::pitch_speed, 6952, kRadToDeg},   {Channel::yaw_position, 6908, -kRadToDeg},
    {Channel::roll_position, 6912, kRadToDeg}, {Channel::pitch_position, 6916, kRadToDeg},
};

}  // namespace

bool pcars2Playing(BlockBytes block) {
    const ByteView bytes(block);
    return bytes.size() >= kFieldsEnd && bytes.u32le(8) == kPlaying;
}

void fillPcars2Record(BlockBytes block, TelemetryRecord& record) {
    const ByteView bytes(block);
    readFloatFields(bytes, kMotionFields, record);
}

int readPcars2(GuardedBlockSlot& slot, const ReaderContext& context) {
    // The view outlives a game that closed its block; only the name tells that it is gone.
    if (!slot.connected || !slot.block.isOpen() || !followPublishedBlock(slot)) return 0;
    const BlockBytes block = viewBytes(slot.block);
    if (!pcars2Playing(block)) return 0;
    fillPcars2Record(block, context.record);
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

constexpr const char* kBlock = "$pcars2$";
constexpr std::size_t kBlockSize = 20700;
constexpr const char* kBlocks[] = {kBlock};
constexpr GameIdentity kIdentity{kPcars2, "PCAR2/Automobilista2", 0, kBlocks};

class Pcars2Reader final : public GameReader {
  public:
    Pcars2Reader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override {
        if (!platform::sharedMemoryExists(kBlock)) return false;
        announceBlock();
        return true;
    }
    int connect() override {
        if (slot_.connected) return 0;
        return connectGuardedBlock(slot_, kBlock, kBlockSize);
    }
    int read(const ReaderContext& context) override { return readPcars2(slot_, context); }
    void disconnect() override { disconnectGuardedBlock(slot_); }
    bool holdsChannel() const override { return slot_.block.isOpen(); }

  private:
    GuardedBlockSlot slot_{kBlock};
};

}  // namespace

extern const GameEntry kPcars2Game;
const GameEntry kPcars2Game{kIdentity, makeReader<kIdentity, Pcars2Reader>};

}  // namespace tarvelmond
