// DiRT Rally 2: 96-byte motion datagrams of little-endian floats.
#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/kinematics.h"
#include "games/readers.h"
#include "net/udp_port.h"

namespace tarvelmond {

void parseDirtRallyDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record) {
    const ByteView bytes(datagram);
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    if (bytes.size() == kDirtRallyMotionSize) {
        record.set(Channel::lateral_accel, -value(24) * kGravity);
        record.set(Channel::longitu_accel, value(28) * kGravity);
        record.set(Channel::vertica_accel, value(32) * kGravity);
        record.set(Channel::yaw_position, value(84) * kRadToDeg - 90.0);
        record.set(Channel::yaw_speed, value(88) * kRadToDeg);
        record.set(Channel::yaw_accel, value(92) * kRadToDeg);
        record.set(Channel::roll_position, value(60) * kRadToDeg);
        record.set(Channel::roll_speed, value(64) * kRadToDeg);
        record.set(Channel::roll_accel, value(68) * kRadToDeg);
        record.set(Channel::pitch_position, value(48) * kRadToDeg);
        record.set(Channel::pitch_speed, value(52) * kRadToDeg);
        record.set(Channel::pitch_accel, value(56) * kRadToDeg);
    }
    // The packet carries no body-frame velocities and no usable clock.
    record.set(Channel::lateral_speed, 0.0);
    record.set(Channel::longitu_speed, 0.0);
    record.set(Channel::vertica_speed, 0.0);
    record.setSimStepMs(-1000.0 * record.simTimePrev);
    record.setSimTimePrev(0.0);
}

int readDirtRally(UdpPort& port, const ReaderContext& context) {
    // Each datagram is a whole frame: the newest one waiting is all that matters.
    const auto datagram = port.receiveNewestDatagram(kDirtRallyMinimum, kMostDatagramsPerRead);
    if (datagram.empty()) return 0;
    updateFrameTime(context.timer, context.record);
    parseDirtRallyDatagram(datagram, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity, LongitudinalGravity::AsRotated);
    return 1;
}

}  // namespace tarvelmond
