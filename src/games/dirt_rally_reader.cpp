// DiRT Rally 2.0 sends one of two packets to the slot's port, both little-endian floats.
//
// The game's standard output ("extradata=3", 66 floats, 264 bytes) is what most players run. It gives
// the stage time, the world velocity, the car's right and forward unit vectors on the world axes (Y up,
// right-handed: right x forward is up), and the lateral and longitudinal g. The angles come from the
// vectors; the rates, and the vertical acceleration, from their change over the stage time (the run
// time field drifts from the simulation's clock, the stage time does not).
//
// The 96-byte packet, sent only after a user sets up the game's custom output, carries the angles,
// rates and g directly.
#include "games/dirt_rally_reader.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "basics/frame_timer.h"
#include "games/attitude_vectors.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {
namespace {

// Float indices in the standard packet.
constexpr std::size_t kStageTime = 1;
constexpr std::size_t kVelocity = 8;
constexpr std::size_t kRight = 11;
constexpr std::size_t kForward = 14;
constexpr std::size_t kLateralG = 34;
constexpr std::size_t kLongitudinalG = 35;

// A longer step between two packets is a gap (a restart, a loading screen), not motion.
constexpr double kLongestStep = 0.2;

void parseMotionPacket(const ByteView& bytes, TelemetryRecord& record) {
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
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

// Angles as the game's motion output counts them: the heading grows turning left, pitch is positive
// nose down and roll positive right side down.
void parseStandardPacket(const ByteView& bytes, TelemetryRecord& record, DirtRallyState& state) {
    const auto value = [&](std::size_t index) { return static_cast<double>(bytes.f32le(4 * index)); };
    const auto vector = [&](std::size_t index) {
        return Vector3{value(index), value(index + 1), value(index + 2)};
    };
    const double time = value(kStageTime);
    const Vector3 velocity = vector(kVelocity);
    const Vector3 right = vector(kRight);
    const Vector3 forward = vector(kForward);
    // Menus and loading screens send zero vectors; such a packet holds no attitude.
    if (!std::isfinite(time) || !isUnit(right) || !isUnit(forward) ||
        !std::isfinite(dot(velocity, velocity))) {
        state.previousValid = false;
        return;
    }
    const Vector3 up = cross(right, forward);
    const double yaw = std::atan2(forward[0], forward[2]);
    const double pitch = std::atan2(-forward[1], std::hypot(forward[0], forward[2]));
    const double roll = std::atan2(-right[1], up[1]);

    const double step = time - state.time;
    if (state.previousValid && step == 0.0) return;  // the same frame sent again
    record.set(Channel::yaw_position, yaw * kRadToDeg);
    record.set(Channel::pitch_position, pitch * kRadToDeg);
    record.set(Channel::roll_position, roll * kRadToDeg);
    record.set(Channel::lateral_speed, dot(velocity, right));
    record.set(Channel::longitu_speed, dot(velocity, forward));
    record.set(Channel::vertica_speed, dot(velocity, up));
    record.set(Channel::lateral_accel, -value(kLateralG) * kGravity);
    record.set(Channel::longitu_accel, value(kLongitudinalG) * kGravity);
    record.set(Channel::yaw_accel, 0.0);
    record.set(Channel::pitch_accel, 0.0);
    record.set(Channel::roll_accel, 0.0);
    if (state.previousValid && step > 0.0 && step <= kLongestStep) {
        record.set(Channel::yaw_speed, angleChange(yaw, state.yaw) / step * kRadToDeg);
        record.set(Channel::pitch_speed, angleChange(pitch, state.pitch) / step * kRadToDeg);
        record.set(Channel::roll_speed, angleChange(roll, state.roll) / step * kRadToDeg);
        Vector3 change{};
        for (std::size_t i = 0; i < 3; ++i)
            change[i] = (velocity[i] - state.velocity[i]) / step;
        record.set(Channel::vertica_accel, dot(change, up));
    } else {
        record.set(Channel::yaw_speed, 0.0);
        record.set(Channel::pitch_speed, 0.0);
        record.set(Channel::roll_speed, 0.0);
        record.set(Channel::vertica_accel, 0.0);
    }
    state.previousValid = true;
    state.time = time;
    state.yaw = yaw;
    state.pitch = pitch;
    state.roll = roll;
    state.velocity = velocity;
}

}  // namespace

void parseDirtRallyDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record,
                            DirtRallyState& state) {
    const ByteView bytes(datagram);
    if (bytes.size() == kDirtRallyMotionSize) {
        parseMotionPacket(bytes, record);
        // The packet carries no body-frame velocities.
        record.set(Channel::lateral_speed, 0.0);
        record.set(Channel::longitu_speed, 0.0);
        record.set(Channel::vertica_speed, 0.0);
    } else if (bytes.size() == kDirtRallyStandardSize) {
        parseStandardPacket(bytes, record, state);
    } else {
        record.set(Channel::lateral_speed, 0.0);
        record.set(Channel::longitu_speed, 0.0);
        record.set(Channel::vertica_speed, 0.0);
    }
    record.setSimStepMs(-1000.0 * record.simTimePrev);
    record.setSimTimePrev(0.0);
}

int readDirtRally(UdpPort& port, const ReaderContext& context, DirtRallyState& state) {
    // Each datagram is a whole frame: the newest one waiting is all that matters.
    const auto datagram = port.receiveNewestDatagram(kDirtRallyMinimum, kMostDatagramsPerRead);
    if (datagram.empty()) return 0;
    updateFrameTime(context.timer, context.record);
    parseDirtRallyDatagram(datagram, context.record, state);
    applyGravitySplit(context.record, GravityMode::WithoutGravity, LongitudinalGravity::AsRotated);
    return 1;
}

namespace {

constexpr GameIdentity kIdentity{kDirtRally2, "DirtRally2", 20778};

}  // namespace

extern const GameEntry kDirtRally2Game;
const GameEntry kDirtRally2Game{kIdentity,
                                makeReader<kIdentity, UdpReaderWithState<DirtRallyState, readDirtRally>>};

}  // namespace tarvelmond
