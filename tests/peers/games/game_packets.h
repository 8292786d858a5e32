#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Packets as the games send them, built from the values a test wants the game to report. Each builder
// writes the game's published layout and units; nothing here knows how the library maps them.
namespace tarvelmond::emulator {

using Bytes = std::vector<std::uint8_t>;

// X-Plane: "DATA" and one index byte, then per group a 32-bit index and eight floats.
struct XplaneGroup {
    std::int32_t index;
    std::array<float, 8> values{};
};
Bytes xplanePacket(const std::vector<XplaneGroup>& groups);

// DiRT Rally 2's 96-byte motion packet: g-forces in g, angles in radians (rates, accelerations).
struct DirtRallyMotion {
    float lateralG = 0, longitudinalG = 0, verticalG = 0;
    float pitch = 0, pitchRate = 0, pitchAccel = 0;
    float roll = 0, rollRate = 0, rollAccel = 0;
    float yaw = 0, yawRate = 0, yawAccel = 0;
};
Bytes dirtRallyPacket(const DirtRallyMotion& motion);

// DiRT Rally 2.0's standard output ("extradata=3"): 66 little-endian floats, 264 bytes. Field 0 the run
// time, 1 the stage time (s), 7 the speed, 8-10 the world velocity (m/s), 11-13 the car's right and
// 14-16 its forward unit vector on the world axes (Y up), 33 the gear, 34 and 35 the lateral and
// longitudinal g.
struct DirtRallyStandard {
    float runTime = 0, stageTime = 0;
    std::array<float, 3> velocity{};
    std::array<float, 3> right{-1, 0, 0}, forward{0, 0, 1};
    float gear = 1, lateralG = 0, longitudinalG = 0;
};
Bytes dirtRallyStandardPacket(const DirtRallyStandard& standard);

// F1 23/24/25 car motion: g-forces in g, angles in radians.
struct F1CarMotion {
    float lateralG = 0, longitudinalG = 0, verticalG = 0;
    float yaw = 0, pitch = 0, roll = 0;
};
// The 1349-byte motion packet; `others` fills every car record but the player's.
Bytes f1MotionPacket(std::uint16_t format, std::uint8_t playerCar, const F1CarMotion& player,
                     const F1CarMotion& others = {}, std::uint8_t secondPlayerCar = 255);
// The player's motion-ex packet (217 bytes for 2023, 237 for 2024, 273 for 2025): angular velocity
// (local X, Y, Z) in rad/s.
Bytes f1MotionExPacket(std::uint16_t format, float angularVelocityX, float angularVelocityY,
                       float angularVelocityZ);

// EA WRC's stock "session_update" packet (237 bytes): the game's clock (s), and the car's velocity,
// acceleration and left, forward and up unit vectors, all on the world axes (X left, Y up, Z forward).
// Given from the car's point of view: velocity and acceleration on the car's axes (lateral towards its
// left, vertical up, longitudinal forward), and its heading (growing turning left), pitch (nose up)
// and roll (right side down) in degrees, which place the car's axes in the world.
struct WrcMotion {
    float lateralSpeed = 0, longitudinalSpeed = 0, verticalSpeed = 0;
    float lateralAccel = 0, longitudinalAccel = 0, verticalAccel = 0;
    double yawDeg = 0, pitchDeg = 0, rollDeg = 0;
    float totalTime = 0;
};
Bytes wrcPacket(const WrcMotion& motion);

// BeamNG.drive "BNG1" motion packet: the values as the game writes them (SI units, radians).
struct BeamNgMotion {
    std::array<float, 3> position{}, velocity{}, acceleration{}, up{0, 0, 1};
    float roll = 0, pitch = 0, yaw = 0;
    float rollRate = 0, pitchRate = 0, yawRate = 0;
    float rollAccel = 0, pitchAccel = 0, yawAccel = 0;
};
Bytes beamNgPacket(const BeamNgMotion& motion, std::size_t size = 88);

// Live for Speed OutSim with header and ID: world-axis vectors (X, Y on the ground, Z up), radians.
struct LfsOutSim {
    std::array<float, 3> angularVelocity{};
    float heading = 0, pitch = 0, roll = 0;
    std::array<float, 3> acceleration{};
    std::array<float, 3> velocity{};
};
Bytes lfsPacket(const LfsOutSim& outSim, std::size_t size = 280);

// DCS export line: numbers separated by spaces, closed by a line feed.
Bytes dcsLine(const std::vector<double>& numbers);

// Condor 2: key=value lines.
Bytes condorText(const std::vector<std::pair<std::string, std::string>>& entries);

// NoLimits 2 telemetry (accelerations in g, quaternion x, y, z, w).
struct NoLimitsTelemetry {
    std::int32_t state = 1;
    std::int32_t frame = 0;
    float speed = 0;
    float qx = 0, qy = 0, qz = 0, qw = 1;
    float gx = 0, gy = 0, gz = 0;
};
Bytes noLimitsMessage(std::uint16_t type, std::uint32_t requestNumber, const Bytes& data = {});
Bytes noLimitsTelemetryReply(std::uint32_t requestNumber, const NoLimitsTelemetry& telemetry);

}  // namespace tarvelmond::emulator
