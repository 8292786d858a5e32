#pragma once
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// F1 23, 24 and 25: the motion and motion-ex packets; parse*() reads nothing beyond the bytes it is
// given.
namespace tarvelmond {

inline constexpr std::size_t kF1MotionSize = 1349;
inline constexpr std::size_t kF1MotionEx2023Size = 217;
inline constexpr std::size_t kF1MotionEx2024Size = 237;
inline constexpr std::size_t kF1MotionEx2025Size = 273;

void parseF1Datagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readF1(UdpPort& port, const ReaderContext& context);

}  // namespace tarvelmond
