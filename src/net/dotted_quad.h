#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelmond {

// An IPv4 address written as four decimal parts of at most 255, separated by dots; every part is
// read as decimal, leading zeros included (239.010.2.3 is 239.10.2.3, never octal). Nothing else is
// an address: no fewer or more parts, no empty part, no sign, blank or other character.
std::optional<std::uint32_t> parseDottedQuad(std::string_view text);  // host byte order

// "a.b.c.d" for an address in host byte order.
std::string dottedQuadText(std::uint32_t address);

}  // namespace tarvelmond
