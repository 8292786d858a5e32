#pragma once
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// DCS's text lines; parse*() reads nothing beyond the bytes it is given.
namespace tarvelmond {

inline constexpr std::size_t kDcsMinimum = 2;

void parseDcsDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readDcs(UdpPort& port, const ReaderContext& context);

}  // namespace tarvelmond
