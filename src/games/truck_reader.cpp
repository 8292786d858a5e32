// Euro Truck Simulator 2 and American Truck Simulator: the "SCSTelemetryExample" block of the game's
// telemetry plug-in, a packed layout of floats. Angles arrive in revolutions (rates in revolutions per
// second, and per second squared).
#include <algorithm>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/kinematics.h"
#include "games/shared_memory_readers.h"

namespace tarvelmond {
namespace {

constexpr double kRevolution = 360.0;  // degrees
// The last field read (roll acceleration at 113) ends here.
constexpr std::size_t kFieldsEnd = 117;

}  // namespace

int parseTruckBlock(BlockBytes block, TelemetryRecord& record) {
    const ByteView bytes(block);
    if (bytes.size() < kFieldsEnd || bytes.u8(0) == 0) return 0;
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    record.set(Channel::speed, value(41));
    record.set(Channel::rpm, value(45));
    record.set(Channel::lateral_speed, value(69));
    record.set(Channel::longitu_speed, -value(77));
    record.set(Channel::vertica_speed, value(73));
    record.set(Channel::lateral_accel, value(93));
    record.set(Channel::longitu_accel, -value(101));
    record.set(Channel::vertica_accel, value(97));
    record.set(Channel::yaw_speed, value(85) * kRevolution);
    record.set(Channel::roll_speed, -value(89) * kRevolution);
    record.set(Channel::pitch_speed, value(81) * kRevolution);
    record.set(Channel::yaw_accel, value(109) * kRevolution);
    record.set(Channel::roll_accel, -value(113) * kRevolution);
    record.set(Channel::pitch_accel, value(105) * kRevolution);
    record.set(Channel::yaw_position, std::clamp(value(25) * kRevolution, 0.0, 360.0));
    record.set(Channel::roll_position, std::clamp(-value(33) * kRevolution, -180.0, 180.0));
    record.set(Channel::pitch_position, std::clamp(value(29) * kRevolution, -90.0, 90.0));
    return 1;
}

int readTruck(const platform::SharedMemory& block, const ReaderContext& context) {
    if (!block.isOpen() || parseTruckBlock(viewBytes(block), context.record) == 0) return 0;
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

}  // namespace tarvelmond
