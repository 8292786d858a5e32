#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "games/reader_states.h"

// NoLimits 2's telemetry server on 127.0.0.1:15151: messages of "N", u16 type, u32 request number,
// u16 data length (all big-endian), the data and "L".
namespace tarvelmond {

inline constexpr std::uint16_t kNoLimitsPort = 15151;
inline constexpr std::size_t kNoLimitsHeader = 9;  // "N", type, request number, data length
inline constexpr std::uint16_t kNoLimitsIdle = 0;
inline constexpr std::uint16_t kNoLimitsOk = 1;
inline constexpr std::uint16_t kNoLimitsGetTelemetry = 5;
inline constexpr std::uint16_t kNoLimitsTelemetry = 6;
inline constexpr std::size_t kNoLimitsTelemetrySize = 76;
inline constexpr std::size_t kNoLimitsLongestMessage = 1024;

// A message without data.
std::array<std::uint8_t, kNoLimitsHeader + 1> noLimitsRequest(std::uint16_t type,
                                                              std::uint32_t requestNumber);

// Detection: connects, sends an idle request and waits up to 500 ms for any answer.
bool noLimitsHandshake();
// Connection of the reader's socket (non-blocking afterwards): 1 or 0.
int connectNoLimits(NoLimitsState& state);
void disconnectNoLimits(NoLimitsState& state);

// Finds the newest complete telemetry reply among the bytes in `bytes`; `consumed` receives how many
// leading bytes hold complete (or undecodable) messages and may be dropped. Returns the reply's 76
// data bytes, or an empty span.
std::span<const std::uint8_t> newestNoLimitsTelemetry(std::span<const std::uint8_t> bytes,
                                                      std::size_t& consumed);

}  // namespace tarvelmond
