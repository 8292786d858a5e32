#include "games/kinematics.h"

#include <cmath>

#include "basics/frame_timer.h"
#include "games/telemetry_record.h"

namespace tarvelmond {

void applyGravitySplit(TelemetryRecord& record, GravityMode mode, LongitudinalGravity longitudinal) {
    const double roll = record.get(Channel::roll_position) * kDegToRad;
    const double pitch = record.get(Channel::pitch_position) * kDegToRad;
    // The world vector (0, 0, g) in the body frame, yaw taken as 0.
    const double a = -kGravity * std::sin(pitch);
    const double b = kGravity * std::cos(pitch) * std::sin(roll);
    const double c = kGravity * std::cos(pitch) * std::cos(roll);
    record.set(Channel::longitu_gravi, longitudinal == LongitudinalGravity::Forward ? -a : a);
    record.set(Channel::lateral_gravi, b);
    record.set(Channel::vertica_gravi, c);

    struct Pair {
        Channel accel, withGravity, gravity;
    };
    constexpr Pair pairs[] = {
        {Channel::lateral_accel, Channel::lateral_accel_g, Channel::lateral_gravi},
        {Channel::longitu_accel, Channel::longitu_accel_g, Channel::longitu_gravi},
        {Channel::vertica_accel, Channel::vertica_accel_g, Channel::vertica_gravi},
    };
    for (const Pair& pair : pairs) {
        if (mode == GravityMode::WithoutGravity) {
            record.set(pair.withGravity, record.get(pair.accel) + record.get(pair.gravity));
        } else {
            record.set(pair.accel, record.get(pair.withGravity) - record.get(pair.gravity));
        }
    }
}

void updateFrameTime(FrameTimer& timer, TelemetryRecord& record) {
    timer.tick();
    record.setFrameTimeMs(timer.lastIntervalMs());
}

}  // namespace tarvelmond
