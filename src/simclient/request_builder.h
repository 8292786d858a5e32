#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The requests the client sends, framed as the simulator's interface expects them: a 16-byte header
// (size, protocol version 5, request id 0xF0000000 + code, serial number; all 32-bit little-endian)
// and the payload, strings in zero-filled 256-byte fields. Requests are written into one send buffer
// and leave it together, as one packet, at the next flush.
namespace tarvelmond::simclient {

inline constexpr std::uint32_t kProtocolVersion = 5;
inline constexpr std::uint32_t kRequestIdBase = 0xF0000000u;
inline constexpr std::size_t kStringField = 256;

enum class RequestCode : std::uint32_t {
    Open = 0x01,
    AddToDataDefinition = 0x0C,
    RequestDataOnSimObject = 0x0E,
    SubscribeToSystemEvent = 0x17,
};

class RequestBuilder {
  public:
    static constexpr std::size_t kBufferSize = 41088;

    // Each returns 0 when the request was written, kStringTooLong when a string has 256 or more
    // characters (nothing is written then and no serial number is used), kFailed when the send buffer
    // has no room.
    std::int32_t open(std::string_view applicationName);
    std::int32_t addToDataDefinition(std::uint32_t definition, std::string_view datumName,
                                     std::string_view unitName, std::uint32_t datumType, float epsilon,
                                     std::uint32_t datumId);
    std::int32_t requestDataOnSimObject(std::uint32_t request, std::uint32_t definition, std::uint32_t object,
                                        std::uint32_t period, std::uint32_t flags, std::uint32_t origin,
                                        std::uint32_t interval, std::uint32_t limit);
    std::int32_t subscribeToSystemEvent(std::uint32_t event, std::string_view eventName);

    // Everything written since the last flush, as one packet (empty when nothing was written); the
    // buffer starts over.
    std::vector<std::uint8_t> flush();

    std::uint32_t lastSerial() const { return serial_; }

  private:
    class Writer;
    std::uint32_t nextSerial();

    std::array<std::uint8_t, kBufferSize> buffer_{};
    std::size_t used_ = 0;
    std::uint32_t serial_ = 0;
};

}  // namespace tarvelmond::simclient
