#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvelmond {

// CRC-16/ARC: reflected polynomial 0xA001, initial value 0, no final XOR; check value 0xBB3D over
// "123456789". Stored low byte first wherever it replaces a frame's 0x0A 0x0D.
std::uint16_t crc16Arc(const std::uint8_t* bytes, std::size_t count);

// A message as the controller reads it: the CRC of all but its last two bytes in place of them (its
// 0x0A 0x0D). A message of two bytes becomes two zero bytes; a shorter one is left alone.
inline void stampCrc(std::uint8_t* bytes, std::size_t size) {
    if (size < 2) return;
    const std::uint16_t crc = crc16Arc(bytes, size - 2);
    bytes[size - 2] = static_cast<std::uint8_t>(crc & 0xFFU);
    bytes[size - 1] = static_cast<std::uint8_t>(crc >> 8);
}

namespace detail {
// Entry n is the CRC of the single byte n. Built by the compiler, so every thread shares one table
// without a first-use race.
constexpr std::array<std::uint16_t, 256> makeCrc16ArcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        std::uint16_t crc = static_cast<std::uint16_t>(n);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 1U) != 0 ? (crc >> 1) ^ 0xA001U : crc >> 1);
        table[n] = crc;
    }
    return table;
}
inline constexpr std::array<std::uint16_t, 256> kCrc16ArcTable = makeCrc16ArcTable();
}  // namespace detail

}  // namespace tarvelmond
