#pragma once
#include <cstdint>

// The result codes of the simulator client's operations, in the HRESULT and NT status forms the
// flight simulator's interface uses. All failures are negative as 32-bit integers.
namespace tarvelmond::simclient {

constexpr std::int32_t resultCode(std::uint32_t bits) {
    return static_cast<std::int32_t>(bits);
}

inline constexpr std::int32_t kSuccess = 0;
// Any failure without a code of its own; from getNextDispatch: no message is waiting. A connection
// failure is never reported with this code, so the two stay apart.
inline constexpr std::int32_t kFailed = resultCode(0x80004005u);
inline constexpr std::int32_t kNoMessage = kFailed;
inline constexpr std::int32_t kInvalidConfigurationIndex = resultCode(0x80070057u);
inline constexpr std::int32_t kStringTooLong = resultCode(0x8007007Au);
// The server sent a message of an impossible size.
inline constexpr std::int32_t kBadMessageSize = resultCode(0x80004004u);
inline constexpr std::int32_t kOutOfMemory = resultCode(0x8007000Eu);
// A read that returned no bytes: the server closed the connection.
inline constexpr std::int32_t kEndOfStream = resultCode(0xC000013Eu);

// Why a connection ended (kept for diagnostics; the code is what callers see).
enum class DisconnectKind : std::uint8_t {
    None = 0,
    MessageTooLarge = 1,
    MessageTooSmall = 2,
    OutOfMemory = 3,
    EndOfStream = 4,
    PeerGone = 5,
    Cancelled = 8,
    TransportError = 9,
};

}  // namespace tarvelmond::simclient
