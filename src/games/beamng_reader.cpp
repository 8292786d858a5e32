// BeamNG.drive: "BNG1" motion packets. Their accelerations exclude gravity, so they go to the
// acceleration channels and the gravity split adds the gravity components (position 4..12 and the up
// vector 40..48 are not used).
#include "games/beamng_reader.h"

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {

bool parseBeamNgDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record) {
    const ByteView bytes(datagram);
    if (!bytes.startsWith("BNG1", 4)) return false;
    if (bytes.size() < kBeamNgMinimum) return true;  // a motion packet, but cut short: nothing to take
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    record.set(Channel::lateral_speed, -value(16));
    record.set(Channel::longitu_speed, -value(20));
    record.set(Channel::vertica_speed, -value(24));
    record.set(Channel::lateral_accel, -value(28));
    record.set(Channel::longitu_accel, -value(32));
    record.set(Channel::vertica_accel, -value(36));
    record.set(Channel::roll_position, value(52) * kRadToDeg);
    record.set(Channel::pitch_position, value(56) * kRadToDeg);
    record.set(Channel::yaw_position, -value(60) * kRadToDeg);
    record.set(Channel::roll_speed, value(64) * kRadToDeg);
    record.set(Channel::pitch_speed, value(68) * kRadToDeg);
    record.set(Channel::yaw_speed, -value(72) * kRadToDeg);
    record.set(Channel::roll_accel, value(76) * kRadToDeg);
    record.set(Channel::pitch_accel, value(80) * kRadToDeg);
    record.set(Channel::yaw_accel, -value(84) * kRadToDeg);
    return true;
}

int readBeamNg(UdpPort& port, const ReaderContext& context) {
    updateFrameTime(context.timer, context.record);
    const auto datagram = port.receiveDatagram();
    if (datagram.size() < 2) return 0;
    // A datagram of another kind ends the filling for this call; the rest is still drained.
    bool filling = true;
    takeWaitingDatagrams(port, datagram, 2, [&](std::span<const std::uint8_t> d) {
        if (filling) filling = parseBeamNgDatagram(d, context.record);
    });
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

constexpr GameIdentity kIdentity{kBeamNg, "BeamNG", 4444};

}  // namespace

extern const GameEntry kBeamNgGame;
const GameEntry kBeamNgGame{kIdentity, makeReader<kIdentity, UdpReaderOf<readBeamNg>>};

}  // namespace tarvelmond
