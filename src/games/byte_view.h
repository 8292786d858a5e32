#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

namespace tarvelmond {

// Reads fixed-layout values out of received bytes, never past their end: a value that would reach
// beyond the received length reads as absent (integers) or NaN (floats, which the telemetry record
// refuses, so the channel keeps its last value).
class ByteView {
  public:
    explicit ByteView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    bool has(std::size_t offset, std::size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }

    std::optional<std::uint8_t> u8(std::size_t offset) const {
        if (!has(offset, 1)) return std::nullopt;
        return bytes_[offset];
    }
    std::optional<std::uint16_t> u16le(std::size_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
    }
    std::optional<std::uint16_t> u16be(std::size_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return static_cast<std::uint16_t>(bytes_[offset] << 8 | bytes_[offset + 1]);
    }
    std::optional<std::uint32_t> u32le(std::size_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(bytes_[offset]) |
               static_cast<std::uint32_t>(bytes_[offset + 1]) << 8 |
               static_cast<std::uint32_t>(bytes_[offset + 2]) << 16 |
               static_cast<std::uint32_t>(bytes_[offset + 3]) << 24;
    }
    std::optional<std::uint32_t> u32be(std::size_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return static_cast<std::uint32_t>(bytes_[offset]) << 24 |
               static_cast<std::uint32_t>(bytes_[offset + 1]) << 16 |
               static_cast<std::uint32_t>(bytes_[offset + 2]) << 8 |
               static_cast<std::uint32_t>(bytes_[offset + 3]);
    }
    std::optional<std::uint64_t> u64le(std::size_t offset) const {
        if (!has(offset, 8)) return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 8; i-- > 0;)
            value = value << 8 | bytes_[offset + i];
        return value;
    }
    std::optional<std::int32_t> i32le(std::size_t offset) const {
        const auto bits = u32le(offset);
        if (!bits) return std::nullopt;
        return std::bit_cast<std::int32_t>(*bits);
    }
    float f32le(std::size_t offset) const { return toFloat(u32le(offset)); }
    double f64le(std::size_t offset) const {
        const auto bits = u64le(offset);
        return bits ? std::bit_cast<double>(*bits) : std::numeric_limits<double>::quiet_NaN();
    }
    float f32be(std::size_t offset) const { return toFloat(u32be(offset)); }

    bool startsWith(const char* tag, std::size_t length) const {
        return has(0, length) && std::memcmp(bytes_.data(), tag, length) == 0;
    }

  private:
    static float toFloat(std::optional<std::uint32_t> bits) {
        return bits ? std::bit_cast<float>(*bits) : std::numeric_limits<float>::quiet_NaN();
    }

    std::span<const std::uint8_t> bytes_;
};

}  // namespace tarvelmond
