#pragma once
#include <array>

namespace tarvelmond::host {

// The six final axes, in the order of the first six values of a cue record.
inline constexpr std::array<const char*, 6> kAxisNames = {"lateral", "longitudinal", "vertical",
                                                          "yaw",     "roll",         "pitch"};

}  // namespace tarvelmond::host
