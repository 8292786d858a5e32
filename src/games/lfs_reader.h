#pragma once
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// Live for Speed's OutSim datagrams; parse*() reads nothing beyond the bytes it is given.
namespace tarvelmond {

inline constexpr std::size_t kLfsMinimum = 280;

void parseLfsDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readLfs(UdpPort& port, const ReaderContext& context);

}  // namespace tarvelmond
