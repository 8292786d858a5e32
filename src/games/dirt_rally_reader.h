#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// DiRT Rally 2.0's datagrams; parse*() reads nothing beyond the bytes it is given.
namespace tarvelmond {

inline constexpr std::size_t kDirtRallyMinimum = 2;
inline constexpr std::size_t kDirtRallyMotionSize = 96;
inline constexpr std::size_t kDirtRallyStandardSize = 264;

// The standard output's previous packet: its stage time, angles (radians) and world velocity, for the
// rates and the vertical acceleration; valid only after a packet with an attitude.
struct DirtRallyState {
    bool previousValid = false;
    double time = 0.0;
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
    std::array<double, 3> velocity{};
};

void parseDirtRallyDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record,
                            DirtRallyState& state);
int readDirtRally(UdpPort& port, const ReaderContext& context, DirtRallyState& state);

}  // namespace tarvelmond
