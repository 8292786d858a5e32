#include "serial/crc16.h"

namespace tarvelmond {

std::uint16_t crc16Arc(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < count; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ detail::kCrc16ArcTable[(crc ^ bytes[i]) & 0xFFU]);
    return crc;
}

}  // namespace tarvelmond
