#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "datagram_key.h"
#include "game_feed.h"
#include "game_packets.h"
#include "telemetry_table.h"
#include "udp_game_sender.h"

namespace tarvelmond::rig {

struct XplaneDatagram {
    emulator::Bytes bytes;
    DatagramKey key;  // as the library will record it
};

class LatencyMatcher;

// The built-in flight's rows, each channel in the record's units and signs.
class FlightRows : public PlayedTimeline {
  public:
    explicit FlightRows(const offline::TelemetryTable& table);
    std::size_t rows() const override { return table_.rowCount(); }
    double durationS() const override;
    bool onGround(std::size_t row) const override { return table_.onGround[row] != 0; }
    // 0 for a channel the recording lacks.
    double value(std::size_t row, Channel channel) const;

  private:
    const offline::TelemetryTable& table_;
    std::array<int, kGameDataSlots> column_{};  // column of each slot in the table, or -1
};

// The built-in flight as X-Plane sends it: attitude (group 17), accelerations and rates (group 135),
// gear loads (group 66, the ground contact) and speed (group 3), one datagram per recorded row.
class XplaneFlight : public FlightRows {
  public:
    using FlightRows::FlightRows;
    XplaneDatagram datagram(std::size_t row) const;
};

// X-Plane sends specific forces, gravity included: the record's three slots that tell its datagrams
// apart.
inline constexpr KeySlots kXplaneKey = {Channel::lateral_accel_g, Channel::longitu_accel_g,
                                        Channel::vertica_accel_g};

// X-Plane playing the flight: a datagram to 127.0.0.1:4321 for every row shown.
class XplaneFeed final : public GameFeed {
  public:
    XplaneFeed(const XplaneFlight& flight, LatencyMatcher& matcher);
    int slot() const override { return 0; }
    std::string description() const override { return "X-Plane"; }
    void show(std::size_t row) override;

  private:
    const XplaneFlight& flight_;
    LatencyMatcher& matcher_;
    emulator::UdpGameSender sender_;
};

}  // namespace tarvelmond::rig
