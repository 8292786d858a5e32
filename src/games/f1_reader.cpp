// F1 23 and F1 24: the motion packet (one 60-byte record per car) and the player's motion-ex packet.
#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/kinematics.h"
#include "games/readers.h"
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

void parseMotionEx(const ByteView& bytes, TelemetryRecord& record) {
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(kHeader + offset)); };
    record.set(Channel::yaw_speed, -value(152) * kRadToDeg);
    record.set(Channel::roll_speed, -value(144) * kRadToDeg);
    record.set(Channel::pitch_speed, -value(148) * kRadToDeg);
}

}  // namespace

void parseF1Datagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record) {
    const ByteView bytes(datagram);
    const auto format = bytes.u16le(0);
    if (format != 2023 && format != 2024) return;
    if (bytes.size() == kF1MotionSize) {
        parseMotion(bytes, record);
    } else if (bytes.size() == kF1MotionEx2023Size || bytes.size() == kF1MotionEx2024Size) {
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

}  // namespace tarvelmond
