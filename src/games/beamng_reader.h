#pragma once
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// BeamNG.drive's motion datagrams; parse*() reads nothing beyond the bytes it is given.
namespace tarvelmond {

inline constexpr std::size_t kBeamNgMinimum = 88;

// false when the datagram is not a motion packet (wrong tag); such a datagram ends the call's filling.
bool parseBeamNgDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readBeamNg(UdpPort& port, const ReaderContext& context);

}  // namespace tarvelmond
