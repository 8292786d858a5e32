#include "games/flight_sim_reader.h"

#include "games/byte_view.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

constexpr std::size_t kIdAt = 8;
constexpr std::size_t kRequestAt = 12;
constexpr std::size_t kEventAt = 16;
constexpr std::size_t kBlockAt = 40;
constexpr std::size_t kValues = 17;
constexpr std::size_t kSimOnGround = 16;

void fillRecord(const ByteView& bytes, TelemetryRecord& record) {
    const auto value = [&](std::size_t k) { return bytes.f64le(kBlockAt + 8 * k); };
    using enum Channel;
    record.set(lateral_accel, value(0));
    record.set(longitu_accel, value(2));
    record.set(vertica_accel, value(1));
    record.set(lateral_speed, -value(6));
    record.set(longitu_speed, value(8));
    record.set(vertica_speed, -value(7));
    record.set(yaw_speed, -value(10) * kRadToDeg);
    record.set(roll_speed, -value(11) * kRadToDeg);
    record.set(pitch_speed, -value(9) * kRadToDeg);
    record.set(yaw_position, value(12) * kRadToDeg);
    record.set(roll_position, value(13) * kRadToDeg);
    record.set(pitch_position, -value(14) * kRadToDeg);
}

}  // namespace

FlightSimMessage parseFlightSimMessage(std::span<const std::uint8_t> message, TelemetryRecord& record,
                                       std::uint32_t& onGround) {
    const ByteView bytes(message);
    const auto id = bytes.u32le(kIdAt);
    if (!id) return FlightSimMessage::Other;
    switch (*id) {
        case kFlightSimException:
            return FlightSimMessage::Exception;
        case kFlightSimQuit:
            return FlightSimMessage::Quit;
        case kFlightSimEvent:
            return bytes.u32le(kEventAt) == kFlightSimQuitEvent ? FlightSimMessage::Quit
                                                                : FlightSimMessage::Other;
        case kFlightSimData: {
            // A block cut short is no frame: half of it would mix with the previous one.
            if (bytes.u32le(kRequestAt) != 0u || !bytes.has(kBlockAt, 8 * kValues))
                return FlightSimMessage::Other;
            fillRecord(bytes, record);
            onGround = bytes.u64le(kBlockAt + 8 * kSimOnGround) == 1u ? 1 : 0;
            return FlightSimMessage::Data;
        }
        default:
            return FlightSimMessage::Other;
    }
}

void finishFlightSimRead(FrameTimer& timer, TelemetryRecord& record) {
    updateFrameTime(timer, record);
    applyGravitySplit(record, GravityMode::WithoutGravity);
}

}  // namespace tarvelmond
