#include "game_packets.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace tarvelmond::emulator {
namespace {

void ensure(Bytes& bytes, std::size_t end) {
    if (bytes.size() < end) bytes.resize(end);
}

struct Vec3 {
    double x, y, z;
};

// Rotation of a body vector by roll about X, then pitch about Y (nose up), then yaw about Z.
Vec3 rotate(const Vec3& v, double yawDeg, double pitchDeg, double rollDeg) {
    const double d = std::numbers::pi / 180.0;
    const double r = rollDeg * d, p = -pitchDeg * d, y = yawDeg * d;
    const Vec3 a{v.x, v.y * std::cos(r) - v.z * std::sin(r), v.y * std::sin(r) + v.z * std::cos(r)};
    const Vec3 b{a.x * std::cos(p) + a.z * std::sin(p), a.y, -a.x * std::sin(p) + a.z * std::cos(p)};
    return {b.x * std::cos(y) - b.y * std::sin(y), b.x * std::sin(y) + b.y * std::cos(y), b.z};
}

void putVector(Bytes& bytes, std::size_t offset, const Vec3& v) {
    putF32le(bytes, offset, static_cast<float>(v.x));
    putF32le(bytes, offset + 4, static_cast<float>(v.y));
    putF32le(bytes, offset + 8, static_cast<float>(v.z));
}

void putF1Header(Bytes& bytes, std::uint16_t format, std::uint8_t packetId, std::uint8_t playerCar,
                 std::uint8_t secondPlayerCar) {
    putU16le(bytes, 0, format);
    bytes[2] = static_cast<std::uint8_t>(format % 100);  // game year
    bytes[3] = 1;                                        // major version
    bytes[5] = 1;                                        // packet version
    bytes[6] = packetId;
    bytes[27] = playerCar;
    bytes[28] = secondPlayerCar;
}

}  // namespace

void putF32le(Bytes& bytes, std::size_t offset, float value) {
    putU32le(bytes, offset, std::bit_cast<std::uint32_t>(value));
}

void putF32be(Bytes& bytes, std::size_t offset, float value) {
    putU32be(bytes, offset, std::bit_cast<std::uint32_t>(value));
}

void putU16le(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    ensure(bytes, offset + 2);
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putU16be(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    ensure(bytes, offset + 2);
    bytes[offset] = static_cast<std::uint8_t>(value >> 8);
    bytes[offset + 1] = static_cast<std::uint8_t>(value);
}

void putU32le(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    ensure(bytes, offset + 4);
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putU32be(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    ensure(bytes, offset + 4);
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

Bytes xplanePacket(const std::vector<XplaneGroup>& groups) {
    Bytes bytes = {'D', 'A', 'T', 'A', '*'};
    for (const XplaneGroup& group : groups) {
        const std::size_t base = bytes.size();
        putU32le(bytes, base, static_cast<std::uint32_t>(group.index));
        for (std::size_t i = 0; i < 8; ++i)
            putF32le(bytes, base + 4 + 4 * i, group.values[i]);
    }
    return bytes;
}

Bytes dirtRallyPacket(const DirtRallyMotion& m) {
    Bytes bytes(96);
    putF32le(bytes, 24, m.lateralG);
    putF32le(bytes, 28, m.longitudinalG);
    putF32le(bytes, 32, m.verticalG);
    putF32le(bytes, 48, m.pitch);
    putF32le(bytes, 52, m.pitchRate);
    putF32le(bytes, 56, m.pitchAccel);
    putF32le(bytes, 60, m.roll);
    putF32le(bytes, 64, m.rollRate);
    putF32le(bytes, 68, m.rollAccel);
    putF32le(bytes, 84, m.yaw);
    putF32le(bytes, 88, m.yawRate);
    putF32le(bytes, 92, m.yawAccel);
    return bytes;
}

Bytes f1MotionPacket(std::uint16_t format, std::uint8_t playerCar, const F1CarMotion& player,
                     const F1CarMotion& others, std::uint8_t secondPlayerCar) {
    Bytes bytes(1349);
    putF1Header(bytes, format, 0, playerCar, secondPlayerCar);
    for (std::size_t car = 0; car < 22; ++car) {
        const F1CarMotion& m = car == playerCar ? player : others;
        const std::size_t base = 29 + 60 * car;
        putF32le(bytes, base + 36, m.lateralG);
        putF32le(bytes, base + 40, m.longitudinalG);
        putF32le(bytes, base + 44, m.verticalG);
        putF32le(bytes, base + 48, m.yaw);
        putF32le(bytes, base + 52, m.pitch);
        putF32le(bytes, base + 56, m.roll);
    }
    return bytes;
}

Bytes f1MotionExPacket(std::uint16_t format, float angularVelocityX, float angularVelocityY,
                       float angularVelocityZ) {
    Bytes bytes(format == 2023 ? 217 : 237);
    putF1Header(bytes, format, 13, 0, 255);
    putF32le(bytes, 29 + 144, angularVelocityX);
    putF32le(bytes, 29 + 148, angularVelocityY);
    putF32le(bytes, 29 + 152, angularVelocityZ);
    return bytes;
}

Bytes wrcPacket(const WrcMotion& m) {
    Bytes bytes(237);
    putF32le(bytes, 61, m.lateralSpeed);
    putF32le(bytes, 65, m.longitudinalSpeed);
    putF32le(bytes, 69, m.verticalSpeed);
    putF32le(bytes, 73, m.longitudinalAccel);
    putF32le(bytes, 77, m.lateralAccel);
    putF32le(bytes, 81, m.verticalAccel);
    putVector(bytes, 85, rotate({0, 1, 0}, m.yawDeg, m.pitchDeg, m.rollDeg));   // left
    putVector(bytes, 97, rotate({1, 0, 0}, m.yawDeg, m.pitchDeg, m.rollDeg));   // forward
    putVector(bytes, 109, rotate({0, 0, 1}, m.yawDeg, m.pitchDeg, m.rollDeg));  // up
    return bytes;
}

Bytes beamNgPacket(const BeamNgMotion& m, std::size_t size) {
    Bytes bytes = {'B', 'N', 'G', '1'};
    bytes.resize(88);
    for (std::size_t i = 0; i < 3; ++i) {
        putF32le(bytes, 4 + 4 * i, m.position[i]);
        putF32le(bytes, 16 + 4 * i, m.velocity[i]);
        putF32le(bytes, 28 + 4 * i, m.acceleration[i]);
        putF32le(bytes, 40 + 4 * i, m.up[i]);
    }
    putF32le(bytes, 52, m.roll);
    putF32le(bytes, 56, m.pitch);
    putF32le(bytes, 60, m.yaw);
    putF32le(bytes, 64, m.rollRate);
    putF32le(bytes, 68, m.pitchRate);
    putF32le(bytes, 72, m.yawRate);
    putF32le(bytes, 76, m.rollAccel);
    putF32le(bytes, 80, m.pitchAccel);
    putF32le(bytes, 84, m.yawAccel);
    bytes.resize(size);
    return bytes;
}

Bytes lfsPacket(const LfsOutSim& o, std::size_t size) {
    Bytes bytes = {'L', 'F', 'S', 'T'};
    bytes.resize(std::max<std::size_t>(size, 60));
    putU32le(bytes, 4, 1);  // OutSim ID
    putU32le(bytes, 8, 0);  // time in ms
    for (std::size_t i = 0; i < 3; ++i) {
        putF32le(bytes, 12 + 4 * i, o.angularVelocity[i]);
        putF32le(bytes, 36 + 4 * i, o.acceleration[i]);
        putF32le(bytes, 48 + 4 * i, o.velocity[i]);
    }
    putF32le(bytes, 24, o.heading);
    putF32le(bytes, 28, o.pitch);
    putF32le(bytes, 32, o.roll);
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
    putU16be(bytes, 1, type);
    putU32be(bytes, 3, requestNumber);
    putU16be(bytes, 7, static_cast<std::uint16_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back('L');
    return bytes;
}

Bytes noLimitsTelemetryReply(std::uint32_t requestNumber, const NoLimitsTelemetry& t) {
    Bytes data(76);
    putU32be(data, 0, static_cast<std::uint32_t>(t.state));
    putU32be(data, 4, static_cast<std::uint32_t>(t.frame));
    putF32be(data, 32, t.speed);
    putF32be(data, 48, t.qx);
    putF32be(data, 52, t.qy);
    putF32be(data, 56, t.qz);
    putF32be(data, 60, t.qw);
    putF32be(data, 64, t.gx);
    putF32be(data, 68, t.gy);
    putF32be(data, 72, t.gz);
    return noLimitsMessage(6, requestNumber, data);
}

}  // namespace tarvelmond::emulator
