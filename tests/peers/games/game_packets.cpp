#include "game_packets.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <type_traits>

namespace tarvelmond::emulator {
namespace {

void ensure(Bytes& bytes, std::size_t end) {
    if (bytes.size() < end) bytes.resize(end);
}

// A 16- or 32-bit field, little-endian unless `big`; the packet grows to hold it.
template <typename T>
void put(Bytes& bytes, std::size_t offset, T value, bool big = false) {
    const auto raw = std::bit_cast<std::conditional_t<sizeof(T) == 2, std::uint16_t, std::uint32_t>>(value);
    ensure(bytes, offset + sizeof raw);
    for (std::size_t i = 0; i < sizeof raw; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(raw >> (8 * (big ? sizeof raw - 1 - i : i)));
}

// Floats one after another from `offset`.
void putFloats(Bytes& bytes, std::size_t offset, std::initializer_list<float> values, bool big = false) {
    for (const float value : values) {
        put(bytes, offset, value, big);
        offset += 4;
    }
}

struct Vec3 {
    double x, y, z;
};

void putVector(Bytes& bytes, std::size_t offset, const Vec3& v) {
    putFloats(bytes, offset, {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)});
}

void putF1Header(Bytes& bytes, std::uint16_t format, std::uint8_t packetId, std::uint8_t playerCar,
                 std::uint8_t secondPlayerCar) {
    put(bytes, 0, format);
    bytes[2] = static_cast<std::uint8_t>(format % 100);  // game year
    bytes[3] = 1;                                        // major version
    bytes[5] = 1;                                        // packet version
    bytes[6] = packetId;
    bytes[27] = playerCar;
    bytes[28] = secondPlayerCar;
}

}  // namespace

Bytes xplanePacket(const std::vector<XplaneGroup>& groups) {
    Bytes bytes = {'D', 'A', 'T', 'A', '*'};
    for (const XplaneGroup& group : groups) {
        const std::size_t base = bytes.size();
        put(bytes, base, static_cast<std::uint32_t>(group.index));
        for (std::size_t i = 0; i < 8; ++i)
            put(bytes, base + 4 + 4 * i, group.values[i]);
    }
    return bytes;
}

Bytes dirtRallyPacket(const DirtRallyMotion& m) {
    Bytes bytes(96);
    putFloats(bytes, 24, {m.lateralG, m.longitudinalG, m.verticalG});
    putFloats(bytes, 48, {m.pitch, m.pitchRate, m.pitchAccel, m.roll, m.rollRate, m.rollAccel});
    putFloats(bytes, 84, {m.yaw, m.yawRate, m.yawAccel});
    return bytes;
}

Bytes dirtRallyStandardPacket(const DirtRallyStandard& s) {
    Bytes bytes(264);
    const auto field = [&](std::size_t index, float value) { put(bytes, 4 * index, value); };
    field(0, s.runTime);
    field(1, s.stageTime);
    field(7, std::sqrt(s.velocity[0] * s.velocity[0] + s.velocity[1] * s.velocity[1] +
                       s.velocity[2] * s.velocity[2]));
    for (std::size_t i = 0; i < 3; ++i) {
        field(8 + i, s.velocity[i]);
        field(11 + i, s.right[i]);
        field(14 + i, s.forward[i]);
    }
    field(33, s.gear);
    field(34, s.lateralG);
    field(35, s.longitudinalG);
    return bytes;
}

Bytes f1MotionPacket(std::uint16_t format, std::uint8_t playerCar, const F1CarMotion& player,
                     const F1CarMotion& others, std::uint8_t secondPlayerCar) {
    Bytes bytes(1349);
    putF1Header(bytes, format, 0, playerCar, secondPlayerCar);
    for (std::size_t car = 0; car < 22; ++car) {
        const F1CarMotion& m = car == playerCar ? player : others;
        putFloats(bytes, 29 + 60 * car + 36,
                  {m.lateralG, m.longitudinalG, m.verticalG, m.yaw, m.pitch, m.roll});
    }
    return bytes;
}

Bytes f1MotionExPacket(std::uint16_t format, float angularVelocityX, float angularVelocityY,
                       float angularVelocityZ) {
    // Each year appended fields to the packet; what came before stayed where it was.
    Bytes bytes(format == 2023 ? 217 : format == 2024 ? 237 : 273);
    putF1Header(bytes, format, 13, 0, 255);
    putFloats(bytes, 173, {angularVelocityX, angularVelocityY, angularVelocityZ});
    return bytes;
}

Bytes wrcPacket(const WrcMotion& m) {
    const double d = std::numbers::pi / 180.0;
    const double yaw = m.yawDeg * d, pitch = m.pitchDeg * d, roll = m.rollDeg * d;
    // A car-axes vector (left, up, forward) on the world axes: rolled about the forward axis, pitched
    // about the left axis, turned about the up axis.
    const auto toWorld = [&](const Vec3& v) {
        const Vec3 rolled{v.x * std::cos(roll) - v.y * std::sin(roll),
                          v.x * std::sin(roll) + v.y * std::cos(roll), v.z};
        const Vec3 pitched{rolled.x, rolled.y * std::cos(pitch) + rolled.z * std::sin(pitch),
                           -rolled.y * std::sin(pitch) + rolled.z * std::cos(pitch)};
        return Vec3{pitched.x * std::cos(yaw) + pitched.z * std::sin(yaw), pitched.y,
                    -pitched.x * std::sin(yaw) + pitched.z * std::cos(yaw)};
    };
    Bytes bytes(237);
    put(bytes, 8, m.totalTime);  // game_total_time
    putVector(bytes, 61, toWorld({m.lateralSpeed, m.verticalSpeed, m.longitudinalSpeed}));
    putVector(bytes, 73, toWorld({m.lateralAccel, m.verticalAccel, m.longitudinalAccel}));
    putVector(bytes, 85, toWorld({1, 0, 0}));   // vehicle_left_direction
    putVector(bytes, 97, toWorld({0, 0, 1}));   // vehicle_forward_direction
    putVector(bytes, 109, toWorld({0, 1, 0}));  // vehicle_up_direction
    return bytes;
}

Bytes beamNgPacket(const BeamNgMotion& m, std::size_t size) {
    Bytes bytes = {'B', 'N', 'G', '1'};
    bytes.resize(88);
    for (std::size_t i = 0; i < 3; ++i) {
        put(bytes, 4 + 4 * i, m.position[i]);
        put(bytes, 16 + 4 * i, m.velocity[i]);
        put(bytes, 28 + 4 * i, m.acceleration[i]);
        put(bytes, 40 + 4 * i, m.up[i]);
    }
    putFloats(
        bytes, 52,
        {m.roll, m.pitch, m.yaw, m.rollRate, m.pitchRate, m.yawRate, m.rollAccel, m.pitchAccel, m.yawAccel});
    bytes.resize(size);
    return bytes;
}

Bytes lfsPacket(const LfsOutSim& o, std::size_t size) {
    Bytes bytes = {'L', 'F', 'S', 'T'};
    bytes.resize(std::max<std::size_t>(size, 60));
    put(bytes, 4, 1);  // OutSim ID
    put(bytes, 8, 0);  // time in ms
    for (std::size_t i = 0; i < 3; ++i) {
        put(bytes, 12 + 4 * i, o.angularVelocity[i]);
        put(bytes, 36 + 4 * i, o.acceleration[i]);
        put(bytes, 48 + 4 * i, o.velocity[i]);
    }
    putFloats(bytes, 24, {o.heading, o.pitch, o.roll});
    bytes.resize(size);
    return bytes;
}

Bytes dcsLine(const std::vector<double>& numbers) {
    std::string text;
    char number[64];
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        std::snprintf(number, sizeof number, "%.6f", numbers[i]);
        text += number;
        text += i + 1 < numbers.size() ? " " : "\n";
    }
    return {text.begin(), text.end()};
}

Bytes condorText(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string text;
    for (const auto& [key, value] : entries)
        text += key + "=" + value + "\r\n";
    return {text.begin(), text.end()};
}

Bytes noLimitsMessage(std::uint16_t type, std::uint32_t requestNumber, const Bytes& data) {
    Bytes bytes = {'N'};
    put(bytes, 1, type, true);
    put(bytes, 3, requestNumber, true);
    put(bytes, 7, static_cast<std::uint16_t>(data.size()), true);
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back('L');
    return bytes;
}

Bytes noLimitsTelemetryReply(std::uint32_t requestNumber, const NoLimitsTelemetry& t) {
    Bytes data(76);
    put(data, 0, static_cast<std::uint32_t>(t.state), true);
    put(data, 4, static_cast<std::uint32_t>(t.frame), true);
    put(data, 32, t.speed, true);
    putFloats(data, 48, {t.qx, t.qy, t.qz, t.qw, t.gx, t.gy, t.gz}, true);
    return noLimitsMessage(6, requestNumber, data);
}

}  // namespace tarvelmond::emulator
