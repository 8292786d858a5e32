// Live for Speed: OutSim packets tagged "LFST". Angular velocity (12, 16, 20), heading, pitch, roll
// (24, 28, 32) and acceleration (36, 40, 44) are given on the world axes: X and Y on the ground, Z up.
// The horizontal parts are turned by the heading into the car's frame (X right, Y forward), so that
// lateral and longitudinal stay with the car whichever way it points.
#include "games/lfs_reader.h"

#include <cmath>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {
namespace {

struct Horizontal {
    double right, forward;
};

// Heading turns anticlockwise from above and is 0 facing world Y.
Horizontal toCarFrame(double x, double y, double heading) {
    const double c = std::cos(heading);
    const double s = std::sin(heading);
    return {x * c + y * s, -x * s + y * c};
}

}  // namespace

void parseLfsDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record) {
    const ByteView bytes(datagram);
    if (bytes.size() < kLfsMinimum || !bytes.startsWith("LFST", 4)) return;
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    const double heading = value(24);
    const Horizontal accel = toCarFrame(value(36), value(40), heading);
    record.set(Channel::lateral_accel, accel.right);
    record.set(Channel::longitu_accel, accel.forward);
    record.set(Channel::vertica_accel, value(44));
    // Pitch turns about the car's X axis, roll about its Y axis.
    const Horizontal rate = toCarFrame(value(12), value(16), heading);
    record.set(Channel::pitch_speed, rate.right * kRadToDeg);
    record.set(Channel::roll_speed, rate.forward * kRadToDeg);
    record.set(Channel::yaw_speed, value(20) * kRadToDeg);
    record.set(Channel::yaw_position, heading * kRadToDeg);
    record.set(Channel::roll_position, value(32) * kRadToDeg);
    record.set(Channel::pitch_position, value(28) * kRadToDeg);
}

int readLfs(UdpPort& port, const ReaderContext& context) {
    updateFrameTime(context.timer, context.record);
    auto datagram = port.receiveDatagram();
    if (datagram.size() < 2) return 0;
    if (datagram.size() < kLfsMinimum) datagram = port.receiveDatagram();  // one more chance
    if (datagram.size() >= kLfsMinimum) {
        takeWaitingDatagrams(port, datagram, kLfsMinimum,
                             [&](std::span<const std::uint8_t> d) { parseLfsDatagram(d, context.record); });
    }
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

constexpr const char* kProcesses[] = {"LFS.exe", "LFS64.exe"};
constexpr GameIdentity kIdentity{kLfs, "LFS", 4123, {}, kProcesses};

}  // namespace

extern const GameEntry kLfsGame;
const GameEntry kLfsGame{kIdentity, makeReader<kIdentity, UdpReaderOf<readLfs>>};

}  // namespace tarvelmond
