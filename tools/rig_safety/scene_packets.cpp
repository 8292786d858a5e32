#include "scene_packets.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tarvelmond::rig_safety {
namespace {

constexpr double kGravity = 9.80665;
constexpr double kDegrees = 180.0 / std::numbers::pi;

// Small and always changing: a tenth of a degree (or of a m/s) per step, a hundred steps round.
float wobble(std::uint64_t n) {
    return 0.001f * static_cast<float>(n % 100);
}

// What every value of a bad datagram becomes (the n-th datagram alternates signs).
float bad(Garbage garbage, std::uint64_t n) {
    const bool odd = (n & 1U) != 0;
    switch (garbage) {
        case Garbage::NaN:
            return std::numeric_limits<float>::quiet_NaN();
        case Garbage::Infinity:
            return odd ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
        case Garbage::Huge:
            return odd ? 3.0e38f : -1.0e30f;
        default:
            return 0.0f;
    }
}

bool valuesAreBad(Garbage garbage) {
    return garbage == Garbage::NaN || garbage == Garbage::Infinity || garbage == Garbage::Huge;
}

emulator::Bytes dirtRally(const SceneValues& s, std::uint64_t n, Garbage garbage) {
    emulator::DirtRallyMotion m;
    if (valuesAreBad(garbage)) {
        const float b = bad(garbage, n);
        m = {b, b, b, b, b, b, b, b, b, b, b, b};
    } else {
        m.lateralG = static_cast<float>(s.lateralG);
        m.longitudinalG = static_cast<float>(s.longitudinalG);
        m.verticalG = static_cast<float>(s.verticalG);
        m.pitch = static_cast<float>(s.pitch);
        m.pitchRate = static_cast<float>(s.pitchRate);
        m.roll = static_cast<float>(s.roll);
        m.rollRate = static_cast<float>(s.rollRate);
        m.yaw = wobble(n);
        m.yawRate = static_cast<float>(s.yawRate);
    }
    return emulator::dirtRallyPacket(m);
}

// F1 sends the car's motion and the player's angular velocity in packets of their own, one after the
// other.
emulator::Bytes f1(const SceneValues& s, std::uint64_t n, Garbage garbage) {
    if (valuesAreBad(garbage)) {
        const float b = bad(garbage, n);
        if ((n / 2) % 2 == 0) return emulator::f1MotionPacket(2024, 0, {b, b, b, b, b, b});
        return emulator::f1MotionExPacket(2024, b, b, b);
    }
    if (n % 2 == 0) {
        return emulator::f1MotionPacket(2024, 0,
                                        {.lateralG = static_cast<float>(s.lateralG),
                                         .longitudinalG = static_cast<float>(s.longitudinalG),
                                         .verticalG = static_cast<float>(1.0 + s.verticalG),
                                         .yaw = wobble(n),
                                         .pitch = static_cast<float>(s.pitch),
                                         .roll = static_cast<float>(s.roll)});
    }
    return emulator::f1MotionExPacket(2024, static_cast<float>(s.pitchRate), static_cast<float>(s.yawRate),
                                      static_cast<float>(s.rollRate));
}

emulator::Bytes wrc(const SceneValues& s, std::uint64_t n, Garbage garbage) {
    if (valuesAreBad(garbage)) {
        const float b = bad(garbage, n);
        return emulator::wrcPacket({b, b, b, b, b, b, b, b, b});
    }
    emulator::Bytes packet =
        emulator::wrcPacket({.lateralSpeed = wobble(n),
                             .longitudinalSpeed = 20.0f,
                             .lateralAccel = static_cast<float>(s.lateralG * kGravity),
                             .longitudinalAccel = static_cast<float>(s.longitudinalG * kGravity),
                             .verticalAccel = static_cast<float>(s.verticalG * kGravity),
                             .yawDeg = 30.0,
                             .pitchDeg = s.pitch * kDegrees,
                             .rollDeg = s.roll * kDegrees,
                             .totalTime = static_cast<float>(static_cast<double>(n) * 0.002)});
    if (garbage == Garbage::Degenerate) {
        // The left, forward and up vectors (bytes 85 to 120 of the stock layout) all zero, as the game
        // sends them on its loading screens.
        std::fill(packet.begin() + 85, packet.begin() + 121, std::uint8_t{0});
    }
    return packet;
}

// OutSim gives accelerations and rates on the world axes and the reader turns them by the heading;
// with no horizontal acceleration and rate the heading can wobble without moving any axis.
emulator::Bytes lfs(const SceneValues& s, std::uint64_t n, Garbage garbage) {
    emulator::LfsOutSim o;
    if (valuesAreBad(garbage)) {
        const float b = bad(garbage, n);
        o = {{b, b, b}, b, b, b, {b, b, b}, {b, b, b}};
    } else {
        o.angularVelocity = {0.0f, 0.0f, static_cast<float>(s.yawRate)};
        o.heading = wobble(n);
        o.pitch = static_cast<float>(s.pitch);
        o.roll = static_cast<float>(s.roll);
        o.acceleration = {0.0f, 0.0f, static_cast<float>(s.verticalG * kGravity)};
    }
    return emulator::lfsPacket(o);
}

// A datagram of the wrong length: cut short, or with bytes after the end.
emulator::Bytes wrongLength(emulator::Bytes packet, std::uint64_t n) {
    if (n % 2 == 0 && packet.size() > 1) {
        packet.resize(1 + n % (packet.size() - 1));
    } else {
        packet.resize(packet.size() + 1 + n % 64, static_cast<std::uint8_t>(n));
    }
    return packet;
}

}  // namespace

Garbage garbageOf(EventKind kind) {
    switch (kind) {
        case EventKind::GarbageNaN:
            return Garbage::NaN;
        case EventKind::GarbageInfinity:
            return Garbage::Infinity;
        case EventKind::GarbageHuge:
            return Garbage::Huge;
        case EventKind::GarbageLength:
            return Garbage::Length;
        case EventKind::GarbageDegenerate:
            return Garbage::Degenerate;
        default:
            return Garbage::None;
    }
}

emulator::Bytes scenePacket(Game game, const SceneValues& scene, std::uint64_t n, Garbage garbage) {
    const Garbage values = garbage == Garbage::Length ? Garbage::None : garbage;
    emulator::Bytes packet;
    switch (game) {
        case Game::DirtRally2:
            packet = dirtRally(scene, n, values);
            break;
        case Game::F1:
            packet = f1(scene, n, values);
            break;
        case Game::Wrc:
            packet = wrc(scene, n, values);
            break;
        case Game::Lfs:
            packet = lfs(scene, n, values);
            break;
        default:
            break;
    }
    return garbage == Garbage::Length ? wrongLength(std::move(packet), n) : packet;
}

emulator::BlockScene blockScene(const SceneValues& s) {
    emulator::BlockScene scene;
    scene.velocityWobble = 0.001f;
    // Euro Truck Simulator 2: revolutions and revolutions per second, x pitch, y yaw, z roll.
    const auto revolutions = [](double radians) {
        return static_cast<float>(radians / (2.0 * std::numbers::pi));
    };
    scene.truck.pitch = revolutions(s.pitch);
    scene.truck.roll = revolutions(s.roll);
    scene.truck.speed = static_cast<float>(s.speed);
    scene.truck.angularVelocity = {revolutions(s.pitchRate), revolutions(s.yawRate), revolutions(s.rollRate)};
    scene.truck.linearAcceleration = {static_cast<float>(s.lateralG * kGravity),
                                      static_cast<float>(s.verticalG * kGravity),
                                      static_cast<float>(-s.longitudinalG * kGravity)};
    // Automobilista 2: radians, rad/s and m/s^2 on the car's axes.
    scene.pcars2.orientation = {0.5f, static_cast<float>(s.roll), static_cast<float>(s.pitch)};
    scene.pcars2.angularVelocity = {static_cast<float>(s.yawRate), static_cast<float>(s.rollRate),
                                    static_cast<float>(s.pitchRate)};
    scene.pcars2.localAcceleration = {static_cast<float>(s.lateralG * kGravity),
                                      static_cast<float>(s.verticalG * kGravity),
                                      static_cast<float>(s.longitudinalG * kGravity)};
    return scene;
}

emulator::BlockGame blockGameOf(Game game) {
    return game == Game::Truck ? emulator::BlockGame::Truck : emulator::BlockGame::Pcars2;
}

int udpPort(Game game) {
    switch (game) {
        case Game::DirtRally2:
            return 20778;
        case Game::F1:
            return 20777;
        case Game::Wrc:
            return 20788;
        case Game::Lfs:
            return 4123;
        default:
            return 0;
    }
}

const char* gameProcess(Game game) {
    switch (game) {
        case Game::F1:
            return "F1_24.exe";
        case Game::Lfs:
            return "LFS.exe";
        default:
            return nullptr;
    }
}

}  // namespace tarvelmond::rig_safety
