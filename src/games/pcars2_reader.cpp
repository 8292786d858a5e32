// Project CARS 2 and Automobilista 2: the "$pcars2$" block. The game state (u32 at 8) is 2 while a
// session is driven; the motion values are floats in SI units and radians.
#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/kinematics.h"
#include "games/shared_memory_readers.h"

namespace tarvelmond {
namespace {

constexpr std::uint32_t kPlaying = 2;
// The last field read (local acceleration z at 6964) ends here.
constexpr std::size_t kFieldsEnd = 6968;

}  // namespace

bool pcars2Playing(BlockBytes block) {
    const ByteView bytes(block);
    return bytes.size() >= kFieldsEnd && bytes.u32le(8) == kPlaying;
}

void fillPcars2Record(BlockBytes block, TelemetryRecord& record) {
    const ByteView bytes(block);
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    record.set(Channel::lateral_accel, value(6956));
    record.set(Channel::longitu_accel, value(6960));
    record.set(Channel::vertica_accel, value(6964));
    record.set(Channel::lateral_speed, value(6920));
    record.set(Channel::longitu_speed, value(6924));
    record.set(Channel::vertica_speed, value(6928));
    record.set(Channel::yaw_speed, -value(6944) * kRadToDeg);
    record.set(Channel::roll_speed, value(6948) * kRadToDeg);
    record.set(Channel::pitch_speed, value(6952) * kRadToDeg);
    record.set(Channel::yaw_position, -value(6908) * kRadToDeg);
    record.set(Channel::roll_position, value(6912) * kRadToDeg);
    record.set(Channel::pitch_position, value(6916) * kRadToDeg);
}

int readPcars2(GuardedBlockSlot& slot, const ReaderContext& context) {
    if (!slot.connected || !slot.block.isOpen()) return 0;
    const BlockBytes block = viewBytes(slot.block);
    if (!pcars2Playing(block)) {
        slot.dataValid = false;
        return 0;
    }
    slot.dataValid = true;
    // The view outlives a game that closed its block; only the name tells that it is gone.
    if (!slot.name.exists()) {
        slot.dataValid = false;
        return 0;
    }
    fillPcars2Record(block, context.record);
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

}  // namespace tarvelmond
