#pragma once
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// X-Plane's data-group datagrams; parse*() reads nothing beyond the bytes it is given.
namespace tarvelmond {

// Shortest datagram the reader takes; anything shorter is skipped.
inline constexpr std::size_t kXplaneMinimum = 42;

void parseXplaneDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record,
                         std::uint32_t& onGround);
int readXplane(UdpPort& port, const ReaderContext& context);

}  // namespace tarvelmond
