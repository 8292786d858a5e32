#include "xplane_flight.h"

#include <bit>

#include "replay.h"

namespace tarvelmond::rig {
namespace {

std::uint64_t bitsOf(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

}  // namespace

DatagramKey keyOfRecord(const double* record) {
    return {{bitsOf(record[static_cast<int>(Channel::lateral_accel_g)]),
             bitsOf(record[static_cast<int>(Channel::longitu_accel_g)]),
             bitsOf(record[static_cast<int>(Channel::vertica_accel_g)])}};
}

XplaneFlight::XplaneFlight(const offline::TelemetryTable& table) : table_(table) {
    column_.fill(-1);
    for (std::size_t c = 0; c < table.channels.size(); ++c)
        column_[static_cast<std::size_t>(table.channels[c])] = static_cast<int>(c);
}

double XplaneFlight::durationS() const {
    return static_cast<double>(rows()) * offline::kTickSeconds;
}

double XplaneFlight::value(std::size_t row, Channel channel) const {
    const int column = column_[static_cast<std::size_t>(channel)];
    return column < 0 ? 0.0 : table_.row(row)[static_cast<std::size_t>(column)];
}

XplaneDatagram XplaneFlight::datagram(std::size_t row) const {
    auto f = [&](Channel channel) { return static_cast<float>(value(row, channel)); };
    // X-Plane's own conventions: heading and yaw rate turn the other way, the longitudinal force
    // points backwards and the normal force comes in tenths.
    const float lateral = f(Channel::lateral_accel_g);
    const float backward = -f(Channel::longitu_accel_g);
    const float normal = static_cast<float>(value(row, Channel::vertica_accel_g) * 10.0);
    // Gear loads: the nose gear, then the right and left main gear; all three loaded means ground.
    const bool ground = onGround(row);
    const float nose = ground ? std::max(f(Channel::fr_lft_susp_pos), 0.01f) : 0.0f;
    const float right = ground ? std::max(f(Channel::re_rgt_susp_pos), 0.01f) : 0.0f;
    const float left = ground ? std::max(f(Channel::re_lft_susp_pos), 0.01f) : 0.0f;
    XplaneDatagram d;
    d.bytes = emulator::xplanePacket({
        {3, {0, 0, 0, 0, 0, 0, 0, f(Channel::speed)}},
        {17, {f(Channel::pitch_position), f(Channel::roll_position), -f(Channel::yaw_position)}},
        {66, {nose, right, left}},
        {135,
         {lateral, normal, backward, f(Channel::roll_speed), f(Channel::pitch_speed),
          -f(Channel::yaw_speed)}},
    });
    // The library reads each value as a double and divides the normal force by ten.
    d.key = {{bitsOf(static_cast<double>(lateral)), bitsOf(-static_cast<double>(backward)),
              bitsOf(static_cast<double>(normal) / 10.0)}};
    return d;
}

}  // namespace tarvelmond::rig
