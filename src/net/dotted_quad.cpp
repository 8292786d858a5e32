#include "net/dotted_quad.h"

namespace tarvelmond {

std::optional<std::uint32_t> parseDottedQuad(std::string_view text) {
    std::uint32_t address = 0;
    int parts = 0;
    std::size_t at = 0;
    while (true) {
        const std::size_t dot = text.find('.', at);
        const std::string_view part =
            text.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at);
        if (part.empty() || ++parts > 4) return std::nullopt;
        std::uint32_t value = 0;
        for (const char c : part) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<std::uint32_t>(c - '0');
            if (value > 255) return std::nullopt;  // checked at each digit, so it never overflows
        }
        address = (address << 8) | value;
        if (dot == std::string_view::npos) break;
        at = dot + 1;
    }
    if (parts != 4) return std::nullopt;
    return address;
}

std::string dottedQuadText(std::uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFFU) + "." +
           std::to_string((address >> 8) & 0xFFU) + "." + std::to_string(address & 0xFFU);
}

}  // namespace tarvelmond
