#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace tarvelmond::offline {

// Shortest text that reads back as exactly the same double, so written files lose nothing.
void appendNumber(std::string& out, double value);

// The whole field as one finite decimal number ("+" allowed), or nothing.
std::optional<double> parseNumber(std::string_view field);

}  // namespace tarvelmond::offline
