#include "xplane_flight.h"

#include <bit>

#include "latency_matcher.h"
#include "replay.h"

namespace tarvelmond::rig {
namespace {

std::uint64_t bitsOf(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

constexpr int kXplanePort = 4321;

}  // namespace

DatagramKey keyOfRecord(const double* record, const KeySlots& slots) {
    return {{bitsOf(record[static_cast<int>(slots[0])]), bitsOf(record[static_cast<int>(slots[1])]),
             bitsOf(record[static_cast<int>(slots[2])])}};
}

FlightRows::FlightRows(const offline::TelemetryTable& table) : table_(table) {
    column_.fill(-1);
    for (std::size_t c = 0; c < table.channels.size(); ++c)
        column_[static_cast<std::size_t>(table.channels[c])] = static_cast<int>(c);
}

double FlightRows::durationS() const {
    return static_cast<double>(rows()) * offline::kTickSeconds;
}

double FlightRows::value(std::size_t row, Channel channel) const {
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

XplaneFeed::XplaneFeed(const XplaneFlight& flight, LatencyMatcher& matcher)
    : flight_(flight), matcher_(matcher), sender_(kXplanePort) {}

void XplaneFeed::show(std::size_t row) {
    const XplaneDatagram d = flight_.datagram(row);
    matcher_.datagramSent(d.key, Clock::now());
    sender_.send(d.bytes);
}

}  // namespace tarvelmond::rig
