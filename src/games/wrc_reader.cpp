// EA WRC: velocities, accelerations and three direction vectors of the car, little-endian floats.
#include <cmath>
#include <optional>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/kinematics.h"
#include "games/readers.h"
#include "net/udp_port.h"

namespace tarvelmond {
namespace {

struct Vector3f {
    float x, y, z;
};

// The direction at `offset`, normalised; none when it has no direction: the game sends zero vectors
// on loading screens, and a vector that is not finite (or too long to measure) means nothing either.
std::optional<Vector3f> directionAt(const ByteView& bytes, std::size_t offset) {
    const Vector3f v{bytes.f32le(offset), bytes.f32le(offset + 4), bytes.f32le(offset + 8)};
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!std::isfinite(length) || !(length > 0.0f)) return std::nullopt;
    return Vector3f{v.x / length, v.y / length, v.z / length};
}

// The angles are degrees: a change across the +-180 seam is the short way round.
double foldDegrees(double difference) {
    double folded = std::fmod(difference, 360.0);
    if (folded > 180.0) folded -= 360.0;
    if (folded <= -180.0) folded += 360.0;
    return folded;
}

constexpr double kLongestStepS = 0.03;
constexpr double kStandInStepS = 0.02;

}  // namespace

void parseWrcDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record, WrcState& state) {
    const ByteView bytes(datagram);
    if (bytes.size() < kWrcMinimum) return;
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    record.set(Channel::lateral_speed, value(61));
    record.set(Channel::longitu_speed, value(65));
    record.set(Channel::vertica_speed, value(69));
    record.set(Channel::longitu_accel, value(73));
    record.set(Channel::lateral_accel, value(77));
    record.set(Channel::vertica_accel, value(81));

    const auto left = directionAt(bytes, 85);
    const auto forward = directionAt(bytes, 97);
    const auto up = directionAt(bytes, 109);
    if (!left || !forward || !up) {
        // No attitude in this datagram: the angles and rates stay as they were, and the next
        // attitude is not measured against one from before the gap.
        state.previousAttitude = false;
        return;
    }
    const Vector3f& a = *left;
    const Vector3f& b = *forward;
    const Vector3f& c = *up;
    const float p = std::asin(std::fmax(-1.0f, std::fmin(1.0f, -c.x)));
    float r = 0.0f;
    float y = 0.0f;
    if (std::cos(p) == 0.0f) {
        r = std::atan2(a.z, a.y);
    } else {
        r = std::atan2(c.z, c.y);
        y = std::atan2(a.x, b.x);
    }
    record.set(Channel::pitch_position, static_cast<double>(p) * kRadToDeg);
    record.set(Channel::roll_position, static_cast<double>(r) * kRadToDeg - 90.0);
    record.set(Channel::yaw_position, -(static_cast<double>(y) * kRadToDeg));

    double dt = record.frameTimeMs / 1000.0;
    if (!(dt > 0.0) || dt > kLongestStepS) dt = kStandInStepS;
    if (state.previousAttitude) {
        const auto rate = [&](Channel angle) {
            return foldDegrees(record.get(angle) - state.previous.get(angle)) / dt;
        };
        record.set(Channel::yaw_speed, rate(Channel::yaw_position));
        record.set(Channel::roll_speed, rate(Channel::roll_position));
        record.set(Channel::pitch_speed, rate(Channel::pitch_position));
        // The packet carries no angular accelerations; the previous ones are carried on.
        for (Channel accel : {Channel::yaw_accel, Channel::roll_accel, Channel::pitch_accel}) {
            record.set(accel, state.previous.get(accel) * (1.0 + dt / 1000.0));
        }
    }
    state.previousAttitude = true;
    state.previous = record;
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

}  // namespace tarvelmond
