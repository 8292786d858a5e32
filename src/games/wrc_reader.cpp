// EA WRC's stock "session_update" packet (237 bytes, little-endian, packed; 241 when the user's layout
// puts the four-character packet tag in front). Position, velocity, acceleration and the car's left,
// forward and up unit vectors are all on the world axes, X left, Y up, Z forward, so the angles come
// from the vectors and the velocity and acceleration are turned onto the car's axes with them. The
// packet carries no rates: they come from the attitude's change over the game's own clock.
#include "games/wrc_reader.h"

#include <cmath>

#include "games/attitude_vectors.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {
namespace {

// Byte offsets in the stock layout.
constexpr std::size_t kGameTotalTime = 8;
constexpr std::size_t kVelocity = 61;
constexpr std::size_t kAcceleration = 73;
constexpr std::size_t kLeft = 85;
constexpr std::size_t kForward = 97;
constexpr std::size_t kUp = 109;
constexpr std::size_t kTaggedSize = 241;
constexpr std::size_t kTagSize = 4;

// A longer step between two packets is a gap (a restart, a loading screen), not motion.
constexpr double kLongestStep = 0.2;

}  // namespace

// The record's axes: lateral positive left, longitudinal forward, vertical up; the heading grows
// turning left, pitch is positive nose up and roll positive right side down.
void parseWrcDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record, WrcState& state) {
    const ByteView bytes(datagram);
    if (bytes.size() < kWrcMinimum) return;
    const std::size_t base = bytes.size() == kTaggedSize ? kTagSize : 0;
    const auto vector = [&](std::size_t offset) {
        offset += base;
        return Vector3{bytes.f32le(offset), bytes.f32le(offset + 4), bytes.f32le(offset + 8)};
    };
    const double time = bytes.f32le(base + kGameTotalTime);
    const Vector3 velocity = vector(kVelocity);
    const Vector3 acceleration = vector(kAcceleration);
    const Vector3 left = vector(kLeft);
    const Vector3 forward = vector(kForward);
    const Vector3 up = vector(kUp);
    if (!isUnit(left) || !isUnit(forward) || !isUnit(up) || !std::isfinite(time)) {
        // No attitude in this datagram: nothing can be put on the car's axes; the record stays as it
        // was, and the next attitude is not measured against one from before the gap.
        state.previousAttitude = false;
        return;
    }
    const double step = time - state.time;
    if (state.previousAttitude && step == 0.0) return;  // the same frame sent again

    const double yaw = std::atan2(forward[0], forward[2]);
    const double pitch = std::atan2(forward[1], std::hypot(forward[0], forward[2]));
    const double roll = std::atan2(left[1], up[1]);
    record.set(Channel::yaw_position, yaw * kRadToDeg);
    record.set(Channel::pitch_position, pitch * kRadToDeg);
    record.set(Channel::roll_position, roll * kRadToDeg);
    record.set(Channel::lateral_speed, dot(velocity, left));
    record.set(Channel::longitu_speed, dot(velocity, forward));
    record.set(Channel::vertica_speed, dot(velocity, up));
    record.set(Channel::lateral_accel, dot(acceleration, left));
    record.set(Channel::longitu_accel, dot(acceleration, forward));
    record.set(Channel::vertica_accel, dot(acceleration, up));
    // The packet carries no angular accelerations.
    record.set(Channel::yaw_accel, 0.0);
    record.set(Channel::pitch_accel, 0.0);
    record.set(Channel::roll_accel, 0.0);
    const bool measured = state.previousAttitude && step > 0.0 && step <= kLongestStep;
    const auto rate = [&](double now, double before) {
        return measured ? angleChange(now, before) / step * kRadToDeg : 0.0;
    };
    record.set(Channel::yaw_speed, rate(yaw, state.yaw));
    record.set(Channel::pitch_speed, rate(pitch, state.pitch));
    record.set(Channel::roll_speed, rate(roll, state.roll));
    state.previousAttitude = true;
    state.time = time;
    state.yaw = yaw;
    state.pitch = pitch;
    state.roll = roll;
}

int readWrc(UdpPort& port, const ReaderContext& context, WrcState& state) {
    // Each datagram is a whole frame: the newest one waiting is all that matters.
    const auto datagram = port.receiveNewestDatagram(kWrcMinimum, kMostDatagramsPerRead);
    if (datagram.empty()) return 0;
    updateFrameTime(context.timer, context.record);
    parseWrcDatagram(datagram, context.record, state);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

constexpr GameIdentity kIdentity{kWrc, "WRC23", 20788};

}  // namespace

extern const GameEntry kWrcGame;
const GameEntry kWrcGame{kIdentity, makeReader<kIdentity, UdpReaderWithState<WrcState, readWrc>>};

}  // namespace tarvelmond
