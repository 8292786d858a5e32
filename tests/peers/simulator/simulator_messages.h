#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The flight simulator's side of its client protocol, written from the protocol's own description:
// requests arrive as a 16-byte header (size, version, id 0xF0000000 + code, serial number) and a
// payload with strings in 256-byte fields; the server's messages start with size, version and id.
namespace tarvelmond::simulator_peer {

using Bytes = std::vector<std::uint8_t>;

// Request codes and their sizes.
inline constexpr std::uint32_t kOpenCode = 0x01, kOpenSize = 296;
inline constexpr std::uint32_t kAddToDataDefinitionCode = 0x0C, kAddToDataDefinitionSize = 544;
inline constexpr std::uint32_t kRequestDataCode = 0x0E, kRequestDataSize = 48;
inline constexpr std::uint32_t kSubscribeCode = 0x17, kSubscribeSize = 276;

// Data types of a definition entry the server fills: 64-bit integer and 64-bit float.
inline constexpr std::uint32_t kInt64Type = 2, kFloat64Type = 4;

// The server's message ids.
inline constexpr std::uint32_t kExceptionId = 1, kOpenAckId = 2, kQuitId = 3, kEventId = 4, kDataId = 8;
inline constexpr std::uint32_t kOpenAckSize = 308;
inline constexpr std::size_t kDataBlockAt = 40;

// One request as it arrived, its fields decoded by code.
struct Request {
    std::uint32_t size = 0, version = 0, id = 0, serial = 0;
    std::uint32_t code() const { return id - 0xF0000000u; }

    std::string applicationName;           // open
    std::vector<std::uint32_t> openLevel;  // open: the six fixed values
    std::uint32_t definition = 0;          // add, request
    std::string datumName, unitName;       // add
    std::uint32_t datumType = 0, datumId = 0;
    float epsilon = 0.0f;
    std::vector<std::uint32_t> dataRequest;  // request: request, definition, object, period, flags,
                                             // origin, interval, limit
    std::uint32_t eventNumber = 0;           // subscribe
    std::string eventName;
};

// Reads the request at the front of `bytes` if it is whole: its size (0 when more bytes are needed).
// `problems` collects every way the request breaks the protocol.
std::size_t readRequest(std::span<const std::uint8_t> bytes, Request& request,
                        std::vector<std::string>& problems);

Bytes openAcknowledgement(const std::string& serverName);
Bytes exceptionMessage(std::uint32_t exception, std::uint32_t sendSerial, std::uint32_t index);
Bytes quitMessage();
Bytes eventMessage(std::uint32_t eventNumber);
// A data message for `request` and definition `definition`: `block` holds the values, 8 bytes each.
Bytes dataMessage(std::uint32_t request, std::uint32_t definition, std::span<const std::uint8_t> block);

// Little-endian fields, as the protocol writes them.
void putU32(Bytes& bytes, std::uint32_t value);
void putU64(Bytes& bytes, std::uint64_t value);
void putF64(Bytes& bytes, double value);
std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::size_t offset);

}  // namespace tarvelmond::simulator_peer
