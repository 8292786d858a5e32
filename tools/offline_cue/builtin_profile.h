#pragma once
#include <string_view>

namespace tarvelmond::offline {

// The text of builtin_profile.toml, compiled in so the tool runs with no files of its own.
std::string_view builtInProfileText();

}  // namespace tarvelmond::offline
