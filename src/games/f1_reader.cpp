// F1 23, F1 24 and F1 25: the motion packet (one 60-byte record per car) and the player's motion-ex packet.
// The three years share the header and the motion packet; motion-ex only grew at its end, so the
// angular velocity sits at the same place in all of them.
#include "games/f1_reader.h"

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/udp_game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {
namespace {

constexpr std::size_t kHeader = 29;
constexpr std::size_t kCarRecord = 60;
constexpr std::size_t kCars = 22;
constexpr std::size_t kPlayerCarIndex = 27;  // byte 28 is the split-screen player's, 255 when none
constexpr std::uint8_t kNoCar = 255;

void parseMotion(const ByteView& bytes, TelemetryRecord& record) {
    std::size_t car = bytes.u8(kPlayerCarIndex).value_or(kNoCar);
    if (car == kNoCar) car = 0;
    if (car >= kCars) return;
    const std::size_t base = kHeader + kCarRecord * car;
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(base + offset)); };
    record.set(Channel::lateral_accel_g, -value(36) * kGravity);
    record.set(Channel::longitu_accel_g, value(40) * kGravity);
    record.set(Channel::vertica_accel_g, -value(44) * kGravity);
    record.set(Channel::yaw_position, value(48) * kRadToDeg);
    record.set(Channel::roll_position, value(56) * kRadToDeg);
    record.set(Channel::pitch_position, value(52) * kRadToDeg);
}

// The car's own axes are the world's turned with it: X to its left, Y up, Z forward (the recordings
// agree: the local velocity's Z is the car's speed, and in a steady turn the Y rate is the yaw rate).
// So Y is the yaw rate, X the pitch rate and Z the roll rate, each turning the same way as the motion
// packet's angle: yaw grows turning left, pitch nose down, roll right side down.
constexpr std::size_t kAngularVelocity = 173;  // x, y, z: three floats, rad/s

void parseMotionEx(const ByteView& bytes, TelemetryRecord& record) {
    const auto value = [&](std::size_t axis) {
        return static_cast<double>(bytes.f32le(kAngularVelocity + 4 * axis));
    };
    record.set(Channel::pitch_speed, value(0) * kRadToDeg);
    record.set(Channel::yaw_speed, value(1) * kRadToDeg);
    record.set(Channel::roll_speed, value(2) * kRadToDeg);
}

// Each packet format has its own motion-ex length; 0 for a format this reader does not know.
std::size_t motionExSize(std::uint16_t format) {
    switch (format) {
        case 2023:
            return kF1MotionEx2023Size;
        case 2024:
            return kF1MotionEx2024Size;
        case 2025:
            return kF1MotionEx2025Size;
        default:
            return 0;
    }
}

}  // namespace

void parseF1Datagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record) {
    const ByteView bytes(datagram);
    const std::size_t exSize = motionExSize(bytes.u16le(0).value_or(0));
    if (exSize == 0) return;
    if (bytes.size() == kF1MotionSize) {
        parseMotion(bytes, record);
    } else if (bytes.size() == exSize) {
        parseMotionEx(bytes, record);
    }
}

int readF1(UdpPort& port, const ReaderContext& context) {
    updateFrameTime(context.timer, context.record);
    const auto datagram = port.receiveDatagram();
    if (datagram.size() < 2) return 0;
    // Take everything waiting so that only the newest data survives.
    takeWaitingDatagrams(port, datagram, 2,
                         [&](std::span<const std::uint8_t> d) { parseF1Datagram(d, context.record); });
    applyGravitySplit(context.record, GravityMode::WithGravity);
    return 1;
}

namespace {

constexpr const char* kProcesses[] = {"F1_23.exe", "F1_23_64.exe", "F1_24.exe", "F1_24_64.exe", "F1_25.exe"};
constexpr GameIdentity kIdentity{kF1, "F1-2023-24", 20777, {}, kProcesses};

}  // namespace

extern const GameEntry kF1Game;
const GameEntry kF1Game{kIdentity, makeReader<kIdentity, UdpReaderOf<readF1>>};

}  // namespace tarvelmond
