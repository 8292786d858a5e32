#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "games/reader_context.h"
#include "platform/sockets.h"

// NoLimits 2's telemetry server on 127.0.0.1:15151: messages of "N", u16 type, u32 request number,
// u16 data length (all big-endian), the data and "L".
namespace tarvelmond {

struct TelemetryRecord;

struct Quaternion {
    double w = 0.0, x = 0.0, y = 0.0, z = 0.0;
};

// NoLimits 2: the TCP connection, bytes of a reply still incomplete, and the filters that turn the
// orientation stream into rates and the accelerations into velocities.
struct NoLimitsState {
    static constexpr std::size_t kPendingCapacity = 2048;
    static constexpr std::size_t kReceiveChunk = 1000;

    platform::SocketLibrary library;
    platform::Socket socket;
    bool connected = false;

    std::array<std::uint8_t, kPendingCapacity> pending{};
    std::size_t pendingLength = 0;

    std::int32_t lastState = 0;
    std::int32_t lastFrame = 0;
    bool haveFrame = false;
    Quaternion previous;  // zero until the first reply
    std::array<double, 3> filteredAccel{};
    std::array<double, 3> velocity{};
    std::array<int, 3> stillCount{};
    std::array<double, 3> filteredRate{};
};

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

// Applies one telemetry reply's 76 data bytes: 1 when it carried a new frame.
int applyNoLimitsTelemetry(std::span<const std::uint8_t> data, NoLimitsState& state, TelemetryRecord& record);
int readNoLimits(NoLimitsState& state, const ReaderContext& context);

}  // namespace tarvelmond
