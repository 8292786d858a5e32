#include "simulator_messages.h"

#include <bit>
#include <cstring>

namespace tarvelmond::simulator_peer {
namespace {

constexpr std::uint32_t kVersion = 5;
constexpr std::size_t kText = 256;

std::uint32_t expectedSize(std::uint32_t code) {
    switch (code) {
        case kOpenCode:
            return kOpenSize;
        case kAddToDataDefinitionCode:
            return kAddToDataDefinitionSize;
        case kRequestDataCode:
            return kRequestDataSize;
        case kSubscribeCode:
            return kSubscribeSize;
        default:
            return 0;
    }
}

// A zero-terminated string in a 256-byte field.
std::string textAt(std::span<const std::uint8_t> bytes, std::size_t offset, const char* field,
                   std::vector<std::string>& problems) {
    const auto* first = reinterpret_cast<const char*>(bytes.data() + offset);
    const auto* end = static_cast<const char*>(std::memchr(first, 0, kText));
    if (end == nullptr) {
        problems.push_back(std::string(field) + " is not zero-terminated in its 256 bytes");
        return std::string(first, kText);
    }
    return std::string(first, end);
}

Bytes header(std::uint32_t size, std::uint32_t id) {
    Bytes bytes;
    bytes.reserve(size);
    putU32(bytes, size);
    putU32(bytes, kVersion);
    putU32(bytes, id);
    return bytes;
}

}  // namespace

void putU32(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putU64(Bytes& bytes, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putF64(Bytes& bytes, double value) {
    putU64(bytes, std::bit_cast<std::uint64_t>(value));
}

std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

std::size_t readRequest(std::span<const std::uint8_t> bytes, Request& request,
                        std::vector<std::string>& problems) {
    if (bytes.size() < 16) return 0;
    request = {};
    request.size = u32At(bytes, 0);
    request.version = u32At(bytes, 4);
    request.id = u32At(bytes, 8);
    request.serial = u32At(bytes, 12);
    const std::uint32_t expected = expectedSize(request.code());
    if (expected == 0) {
        problems.push_back("unknown request id " + std::to_string(request.id));
    } else if (request.size != expected) {
        problems.push_back("request " + std::to_string(request.code()) + " of size " +
                           std::to_string(request.size) + " instead of " + std::to_string(expected));
    }
    // A size the server cannot trust ends the reading of this stream.
    if (expected == 0 || request.size != expected) return bytes.size();
    if (bytes.size() < request.size) return 0;
    if (request.version != kVersion)
        problems.push_back("protocol version " + std::to_string(request.version));
    const auto field = [&](std::size_t offset) { return u32At(bytes, offset); };
    switch (request.code()) {
        case kOpenCode:
            request.applicationName = textAt(bytes, 16, "application name", problems);
            for (std::size_t i = 0; i < 6; ++i)
                request.openLevel.push_back(field(272 + 4 * i));
            break;
        case kAddToDataDefinitionCode:
            request.definition = field(16);
            request.datumName = textAt(bytes, 20, "datum name", problems);
            request.unitName = textAt(bytes, 276, "unit name", problems);
            request.datumType = field(532);
            request.epsilon = std::bit_cast<float>(field(536));
            request.datumId = field(540);
            if (request.datumName.empty()) problems.push_back("empty datum name");
            break;
        case kRequestDataCode:
            for (std::size_t i = 0; i < 8; ++i)
                request.dataRequest.push_back(field(16 + 4 * i));
            request.definition = request.dataRequest[1];
            break;
        case kSubscribeCode:
            request.eventNumber = field(16);
            request.eventName = textAt(bytes, 20, "event name", problems);
            if (request.eventName.empty()) problems.push_back("empty event name");
            break;
        default:
            break;
    }
    return request.size;
}

Bytes openAcknowledgement(const std::string& serverName) {
    Bytes bytes = header(kOpenAckSize, kOpenAckId);
    Bytes name(kText, 0);
    std::memcpy(name.data(), serverName.data(), std::min(serverName.size(), kText - 1));
    bytes.insert(bytes.end(), name.begin(), name.end());
    // Application version and build, then the protocol's version and build.
    for (const std::uint32_t value : {11u, 0u, 62651u, 3u, 11u, 0u, 62651u, 3u})
        putU32(bytes, value);
    putU32(bytes, 0);  // 300: the in-process id, none for a client of another process
    putU32(bytes, 0);
    return bytes;
}

Bytes exceptionMessage(std::uint32_t exception, std::uint32_t sendSerial, std::uint32_t index) {
    Bytes bytes = header(24, kExceptionId);
    putU32(bytes, exception);
    putU32(bytes, sendSerial);
    putU32(bytes, index);
    return bytes;
}

Bytes quitMessage() {
    return header(12, kQuitId);
}

Bytes eventMessage(std::uint32_t eventNumber) {
    Bytes bytes = header(24, kEventId);
    putU32(bytes, 0xFFFFFFFFu);  // no notification group
    putU32(bytes, eventNumber);
    putU32(bytes, 0);
    return bytes;
}

Bytes dataMessage(std::uint32_t request, std::uint32_t definition, std::span<const std::uint8_t> block) {
    const auto size = static_cast<std::uint32_t>(kDataBlockAt + block.size());
    Bytes bytes = header(size, kDataId);
    putU32(bytes, request);
    putU32(bytes, 1);  // the user's aircraft
    putU32(bytes, definition);
    putU32(bytes, 0);  // flags
    putU32(bytes, 1);  // entry 1 of 1
    putU32(bytes, 1);
    putU32(bytes, static_cast<std::uint32_t>(block.size() / 8));
    bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

}  // namespace tarvelmond::simulator_peer
