#pragma once
#include <cstdint>
#include <span>

namespace tarvelmond {

// Whether a game is already sending to `port`: binds the port on all interfaces, waits up to 20 ms for
// a datagram and takes it into `scratch`. Everything it opens is closed again before it returns.
bool probeUdpPort(int port, std::span<std::uint8_t> scratch);

}  // namespace tarvelmond
