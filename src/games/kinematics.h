#pragma once
#include <numbers>

namespace tarvelmond {

struct TelemetryRecord;
struct FrameTimer;

inline constexpr double kGravity = 9.80665;  // m/s^2 per g
inline constexpr double kRadToDeg = 180.0 / std::numbers::pi;
inline constexpr double kDegToRad = std::numbers::pi / 180.0;

// Whether a game's accelerations arrive with gravity (in the *_accel_g channels) or without it (in the
// *_accel channels); the split completes the other member of each pair.
enum class GravityMode { WithoutGravity, WithGravity };

// One game (DiRT Rally 2) keeps the longitudinal gravity component with the rotation's own sign.
enum class LongitudinalGravity { Forward, AsRotated };

// Fills the three gravity channels from the record's roll and pitch (yaw never enters) and completes
// the acceleration pairs.
void applyGravitySplit(TelemetryRecord& record, GravityMode mode,
                       LongitudinalGravity longitudinal = LongitudinalGravity::Forward);

// Ticks a reader's timer and stores the interval as the record's frame time.
void updateFrameTime(FrameTimer& timer, TelemetryRecord& record);

}  // namespace tarvelmond
