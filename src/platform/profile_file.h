#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Values of INI-style profile files ("[section]" lines and "key=value" lines), read the way the
// Windows profile reader reads them: section and key names compared ignoring case, names and values
// trimmed of blanks, a value in matching quotes taken without them, the first matching section and
// key winning. Windows uses the system's own reader; elsewhere the file is read and parsed here.
namespace tarvelmond::platform {

// The longest value kept; longer values are cut, as a profile read into a buffer of this size cuts them.
inline constexpr std::size_t kProfileValueMax = 2047;

// The value of `key` in `section` of the file at `path`; empty when the file, the section or the key
// is missing (as with the Windows reader, a missing value and an empty one are alike).
std::string profileString(const std::string& path, const std::string& section, const std::string& key);
// Whether `section` exists in the file at `path` with at least one entry.
bool profileSectionHasEntries(const std::string& path, const std::string& section);

// The parser behind both, on the text of a file.
std::string profileTextValue(std::string_view text, std::string_view section, std::string_view key);
bool profileTextSectionHasEntries(std::string_view text, std::string_view section);

}  // namespace tarvelmond::platform
