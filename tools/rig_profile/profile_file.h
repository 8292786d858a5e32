#pragma once
#include <filesystem>
#include <string>
#include <string_view>

#include "rig_profile.h"

namespace tarvelmond::offline {

// Reads a rig profile written in TOML (schema in README.md and in the built-in profile's header).
// Throws InputError naming file, line and column for syntax errors, unknown keys, wrong types and
// impossible values. Filter strings are only checked when the profile is installed.
RigProfile parseProfileFile(std::string_view text, const std::string& source);
RigProfile readProfileFile(const std::filesystem::path& path);

}  // namespace tarvelmond::offline
