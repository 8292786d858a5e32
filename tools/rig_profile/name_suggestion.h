#pragma once
#include <span>
#include <string>
#include <string_view>

namespace tarvelmond::offline {

// The candidate closest to a misspelt name (a few edits away at most), or an empty text, so that an
// error message can say "did you mean ...".
std::string closestName(std::string_view wrong, std::span<const std::string_view> candidates);

// " (did you mean \"x\"?)" or nothing.
std::string didYouMean(std::string_view wrong, std::span<const std::string_view> candidates);

}  // namespace tarvelmond::offline
