#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "game_packets.h"
#include "telemetry_table.h"

namespace tarvelmond::rig {

// Which datagram a tick of the library read: the three specific forces of X-Plane's group 135 as
// the library's record holds them (slots lateral_accel_g, longitu_accel_g, vertica_accel_g), bit
// for bit. The flight's engine shake and turbulence make them differ from datagram to datagram.
struct DatagramKey {
    std::array<std::uint64_t, 3> bits{};
    bool operator==(const DatagramKey&) const = default;
};
struct DatagramKeyHash {
    std::size_t operator()(const DatagramKey& key) const {
        return static_cast<std::size_t>(key.bits[0] * 0x9E3779B97F4A7C15ULL ^ key.bits[1] * 31 ^ key.bits[2]);
    }
};
// The key of a 43-slot game-data record.
DatagramKey keyOfRecord(const double* record);

struct XplaneDatagram {
    emulator::Bytes bytes;
    DatagramKey key;  // as the library will record it
};

// The built-in flight as X-Plane sends it: attitude (group 17), accelerations and rates (group 135),
// gear loads (group 66, the ground contact) and speed (group 3), one datagram per recorded row.
class XplaneFlight {
  public:
    explicit XplaneFlight(const offline::TelemetryTable& table);
    std::size_t rows() const { return table_.rowCount(); }
    double durationS() const;
    bool onGround(std::size_t row) const { return table_.onGround[row] != 0; }
    XplaneDatagram datagram(std::size_t row) const;

  private:
    double value(std::size_t row, Channel channel) const;

    const offline::TelemetryTable& table_;
    std::array<int, kGameDataSlots> column_{};  // column of each slot in the table, or -1
};

}  // namespace tarvelmond::rig
