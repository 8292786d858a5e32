#include "scenario.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>

#include "flight_plan.h"
#include "replay.h"

namespace tarvelmond::offline {
namespace {

constexpr double kG = 9.80665;
constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr double kRadians = std::numbers::pi / 180.0;
constexpr double kRotationSpeed = 28.0;  // m/s; the wings carry the weight from here on

using Vec = std::array<double, 3>;

// Body axes: x forward, y right, z down; the world is north, east, down.
Vec toBody(const Vec& w, double yaw, double pitch, double roll) {
    const double cy = std::cos(yaw), sy = std::sin(yaw);
    const double cp = std::cos(pitch), sp = std::sin(pitch);
    const double cr = std::cos(roll), sr = std::sin(roll);
    const double x1 = cy * w[0] + sy * w[1];
    const double y1 = -sy * w[0] + cy * w[1];
    const double x2 = cp * x1 - sp * w[2];
    const double z2 = sp * x1 + cp * w[2];
    return {x2, cr * y1 + sr * z2, -sr * y1 + cr * z2};
}

// Deterministic on every platform: the generator's raw output is fixed by the standard, unlike the
// distributions built on it.
class Noise {
  public:
    explicit Noise(std::uint32_t seed) : generator_(seed) {}
    double uniform() { return (static_cast<double>(generator_()) + 0.5) / 4294967296.0 * 2.0 - 1.0; }
    // White noise through a one-pole low-pass: smoother the smaller the factor.
    double coloured(double& state, double factor) {
        state += factor * (uniform() - state);
        return state;
    }

  private:
    std::mt19937 generator_;
};

struct Kinematics {
    std::vector<double> yaw, pitch, roll;  // radians
    std::vector<Vec> velocity;             // world, m/s
    std::vector<PilotCommand> command;
};

Kinematics fly(std::size_t rows) {
    Kinematics k;
    k.yaw.resize(rows);
    k.pitch.resize(rows);
    k.roll.resize(rows);
    k.velocity.resize(rows);
    k.command.resize(rows);
    double speed = 0.0;
    double heading = pilotCommandAt(0.0).groundHeadingDeg * kRadians;
    for (std::size_t i = 0; i < rows; ++i) {
        const double t = static_cast<double>(i) * kTickSeconds;
        const PilotCommand c = pilotCommandAt(t);
        k.command[i] = c;
        if (i > 0) {
            speed = std::max(0.0, speed + c.alongPathAccel * kTickSeconds);
            if (c.onGround) {
                heading = c.groundHeadingDeg * kRadians;
            } else {
                // A coordinated turn: the bank's share of lift bends the path.
                heading += kG * std::tan(c.rollDeg * kRadians) / std::max(speed, 10.0) * kTickSeconds;
            }
        }
        const double path = c.pathAngleDeg * kRadians;
        k.yaw[i] = heading;
        k.pitch[i] = c.pitchDeg * kRadians;
        k.roll[i] = c.rollDeg * kRadians;
        k.velocity[i] = {speed * std::cos(path) * std::cos(heading),
                         speed * std::cos(path) * std::sin(heading), -speed * std::sin(path)};
    }
    return k;
}

// Central difference, one-sided at the ends.
template <typename Get>
double rate(std::size_t i, std::size_t rows, Get get) {
    const std::size_t a = i == 0 ? 0 : i - 1;
    const std::size_t b = i + 1 == rows ? i : i + 1;
    return (get(b) - get(a)) / (static_cast<double>(b - a) * kTickSeconds);
}

constexpr std::array<Channel, 33> kColumns = {
    Channel::lateral_speed,   Channel::lateral_accel,   Channel::lateral_accel_g,
    Channel::lateral_gravi,   Channel::longitu_speed,   Channel::longitu_accel,
    Channel::longitu_accel_g, Channel::longitu_gravi,   Channel::vertica_speed,
    Channel::vertica_accel,   Channel::vertica_accel_g, Channel::vertica_gravi,
    Channel::yaw_position,    Channel::yaw_speed,       Channel::yaw_accel,
    Channel::roll_position,   Channel::roll_speed,      Channel::roll_accel,
    Channel::pitch_position,  Channel::pitch_speed,     Channel::pitch_accel,
    Channel::fr_lft_susp_pos, Channel::fr_rgt_susp_pos, Channel::re_lft_susp_pos,
    Channel::re_rgt_susp_pos, Channel::engine_torque,   Channel::rpm,
    Channel::speed,           Channel::stall,           Channel::flaps,
    Channel::ldg_gear_turb,   Channel::ldg_gear,        Channel::spd_brakes,
};

}  // namespace

TelemetryTable builtInFlight() {
    const auto rows = static_cast<std::size_t>(std::llround(kFlightSeconds / kTickSeconds));
    const Kinematics k = fly(rows);

    // Body rates from the attitude's rates, in radians per second: p roll, q pitch, r yaw.
    std::vector<Vec> bodyRates(rows);
    for (std::size_t i = 0; i < rows; ++i) {
        const double dRoll = rate(i, rows, [&](std::size_t j) { return k.roll[j]; });
        const double dPitch = rate(i, rows, [&](std::size_t j) { return k.pitch[j]; });
        const double dYaw = rate(i, rows, [&](std::size_t j) { return k.yaw[j]; });
        const double sp = std::sin(k.pitch[i]), cp = std::cos(k.pitch[i]);
        const double sr = std::sin(k.roll[i]), cr = std::cos(k.roll[i]);
        bodyRates[i] = {dRoll - dYaw * sp, dPitch * cr + dYaw * cp * sr, -dPitch * sr + dYaw * cp * cr};
    }

    TelemetryTable table;
    table.source = "built-in flight";
    table.channels.assign(kColumns.begin(), kColumns.end());
    table.values.reserve(rows * kColumns.size());
    table.onGround.reserve(rows);
    table.timeS.reserve(rows);

    Noise noise(20240601U);
    double rumbleZ = 0.0, rumbleY = 0.0, gustZ = 0.0, gustY = 0.0, propellerPhase = 0.0;
    for (std::size_t i = 0; i < rows; ++i) {
        const double t = static_cast<double>(i) * kTickSeconds;
        const PilotCommand& c = k.command[i];
        const double yaw = k.yaw[i], pitch = k.pitch[i], roll = k.roll[i];
        Vec worldAccel{};
        for (std::size_t axis = 0; axis < 3; ++axis)
            worldAccel[axis] = rate(i, rows, [&](std::size_t j) { return k.velocity[j][axis]; });
        Vec accel = toBody(worldAccel, yaw, pitch, roll);
        const Vec velocity = toBody(k.velocity[i], yaw, pitch, roll);
        const double speed = std::hypot(k.velocity[i][0], k.velocity[i][1], k.velocity[i][2]);

        // Two-blade propeller shake, runway rumble growing with speed, turbulence aloft, the touchdown.
        propellerPhase += 2.0 * std::numbers::pi * (2.0 * c.rpm / 60.0) * kTickSeconds;
        const double shake = 0.03 * c.rpm / 1000.0 * std::sin(propellerPhase);
        const double wheelsLoaded =
            c.onGround ? std::max(0.0, 1.0 - std::pow(speed / kRotationSpeed, 2.0)) : 0.0;
        const double rumble = c.onGround ? 0.06 * speed : 0.0;
        const double gust = c.onGround ? 0.0 : 1.0;
        const double sinceTouchdown = t - kTouchdownS;
        const double bump = sinceTouchdown >= 0.0
                                ? 7.0 * std::exp(-sinceTouchdown / 0.12) *
                                      std::cos(2.0 * std::numbers::pi * 2.5 * sinceTouchdown)
                                : 0.0;
        accel[2] +=
            shake + rumble * noise.coloured(rumbleZ, 0.35) + 0.8 * gust * noise.coloured(gustZ, 0.01) - bump;
        accel[1] += 0.4 * rumble * noise.coloured(rumbleY, 0.35) + 0.4 * gust * noise.coloured(gustY, 0.01);

        // Record conventions: the gravity components as the record defines them, accelerations signed so
        // that each channel with gravity is acceleration plus gravity component.
        const double lateralGravity = kG * std::cos(pitch) * std::sin(roll);
        const double longitudinalGravity = kG * std::sin(pitch);
        const double verticalGravity = kG * std::cos(pitch) * std::cos(roll);
        const double lateral = -accel[1];
        const double longitudinal = accel[0];
        const double vertical = -accel[2];
        const Vec& w = bodyRates[i];
        auto angularAccel = [&](std::size_t axis) {
            return rate(i, rows, [&](std::size_t j) { return bodyRates[j][axis]; }) * kDegrees;
        };
        const double gear =
            c.onGround ? 0.3 + 0.5 * wheelsLoaded + 0.05 * rumble * rumbleZ + 0.02 * bump : 0.0;
        const double heading = std::fmod(yaw * kDegrees + 360.0, 360.0);
        const double torque = (c.rpm - 800.0) / 1700.0 * 100.0;

        const std::array<double, kColumns.size()> row = {
            -velocity[1],
            lateral,
            lateral + lateralGravity,
            lateralGravity,
            velocity[0],
            longitudinal,
            longitudinal + longitudinalGravity,
            longitudinalGravity,
            -velocity[2],
            vertical,
            vertical + verticalGravity,
            verticalGravity,
            heading,
            w[2] * kDegrees,
            angularAccel(2),
            roll * kDegrees,
            w[0] * kDegrees,
            angularAccel(0),
            pitch * kDegrees,
            w[1] * kDegrees,
            angularAccel(1),
            gear,
            gear,
            gear * 0.8,
            gear * 0.8,
            torque,
            c.rpm,
            speed * 3.6,
            0.0,
            c.flapsDeg,
            c.onGround ? std::abs(rumble * rumbleZ) : 0.0,
            1.0,
            0.0,
        };
        for (double value : row)
            table.values.push_back(value == 0.0 ? 0.0 : value);  // no "-0" in the file
        table.onGround.push_back(c.onGround ? 1 : 0);
        table.timeS.push_back(t);
    }
    return table;
}

}  // namespace tarvelmond::offline
