#pragma once
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// EA WRC's datagrams; parse*() reads nothing beyond the bytes it is given.
namespace tarvelmond {

inline constexpr std::size_t kWrcMinimum = 121;

// The previous packet's game time and angles (radians), for the rates; valid only after a packet with
// a usable attitude (not the first one, not after a loading screen's empty vectors).
struct WrcState {
    bool previousAttitude = false;
    double time = 0.0;
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
};

void parseWrcDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record, WrcState& state);
int readWrc(UdpPort& port, const ReaderContext& context, WrcState& state);

}  // namespace tarvelmond
