#pragma once
#include <charconv>
#include <optional>
#include <string_view>

namespace tarvelmond {

// The number at the front of `text` as a C library conversion reads it (leading blanks and a '+'
// allowed, the longest valid prefix taken), or nothing when the text does not start with a number.
// Reads only inside `text` and never allocates.
template <typename Number>
std::optional<Number> leadingNumber(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    Number value{};
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc{}) return std::nullopt;
    return value;
}

}  // namespace tarvelmond
