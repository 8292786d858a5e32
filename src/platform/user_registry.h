#pragma once
#include <cstddef>
#include <optional>
#include <string>

namespace tarvelmond::platform {

// A string value under HKEY_CURRENT_USER\<key>, read into a buffer of `bufferBytes` (a value that does
// not fit is not read). Nothing when the key or value is missing or unreadable, and always where there
// is no registry.
std::optional<std::string> userRegistryString(const std::string& key, const std::string& value,
                                              std::size_t bufferBytes);

}  // namespace tarvelmond::platform
