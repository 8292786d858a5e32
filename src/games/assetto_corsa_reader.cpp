// Assetto Corsa and Assetto Corsa EVO: the physics page. Accelerations arrive in g (of the game's 9.81)
// without gravity, angles and rates in radians; the game's vertical axis, heading and roll run opposite
// to the record's.
#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/kinematics.h"
#include "games/shared_memory_readers.h"

namespace tarvelmond {
namespace {

// The game's own g, which its accelerations were divided by.
constexpr double kAcGravity = 9.81;
// The last field read (local velocity z at 576) ends here.
constexpr std::size_t kAcFieldsEnd = 580;

}  // namespace

int parseAssettoCorsaPhysics(BlockBytes physics, std::uint32_t& lastPacket, TelemetryRecord& record) {
    const ByteView bytes(physics);
    if (bytes.size() < kAcFieldsEnd) return 0;
    const std::uint32_t packet = *bytes.u32le(0);
    if (packet == lastPacket) return 0;
    lastPacket = packet;
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    record.set(Channel::lateral_accel, value(44) * kAcGravity);
    record.set(Channel::longitu_accel, value(52) * kAcGravity);
    record.set(Channel::vertica_accel, -value(48) * kAcGravity);
    record.set(Channel::lateral_speed, value(568));
    record.set(Channel::longitu_speed, value(576));
    record.set(Channel::vertica_speed, value(572));
    record.set(Channel::yaw_speed, value(300) * kRadToDeg);
    record.set(Channel::roll_speed, value(304) * kRadToDeg);
    record.set(Channel::pitch_speed, value(296) * kRadToDeg);
    record.set(Channel::yaw_position, -value(208) * kRadToDeg);
    record.set(Channel::roll_position, -value(216) * kRadToDeg);
    record.set(Channel::pitch_position, value(212) * kRadToDeg);
    return 1;
}

int readAssettoCorsa(const platform::SharedMemory& physics, std::uint32_t& lastPacket,
                     const ReaderContext& context) {
    if (!physics.isOpen()) return 0;
    if (parseAssettoCorsaPhysics(viewBytes(physics), lastPacket, context.record) == 0) return 0;
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

}  // namespace tarvelmond
