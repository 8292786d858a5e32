#include "number_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tarvelmond::offline {

void appendNumber(std::string& out, double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

std::optional<double> parseNumber(std::string_view field) {
    // from_chars takes no leading "+", which spreadsheets write; a second sign is still an error.
    if (field.size() > 1 && field.front() == '+' && field[1] != '-' && field[1] != '+')
        field.remove_prefix(1);
    if (field.empty()) return std::nullopt;
    double value = 0.0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    if (result.ec != std::errc() || result.ptr != field.data() + field.size()) return std::nullopt;
    // "nan" and "inf" read as numbers but are not telemetry; the engine would drop them anyway.
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace tarvelmond::offline
