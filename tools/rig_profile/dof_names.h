#pragma once
#include <array>
#include <optional>
#include <string_view>

namespace tarvelmond::offline {

// The library's channel and profile numbering as its exported setters take them. Spelt out here
// because the profile format is read by programs that see the public interface only.
inline constexpr int kDofChannels = 23;
inline constexpr int kAirProfile = 0;
inline constexpr int kGroundProfile = 1;

// Names by which profile files, output columns and the summary refer to the 23 DOF channels, in
// channel order.
inline constexpr std::array<std::string_view, kDofChannels> kDofNames = {
    "lateral",
    "longitudinal",
    "vertical",
    "yaw",
    "roll",
    "pitch",
    "lateral_tilt",
    "longitudinal_tilt",
    "roll_position",
    "pitch_position",
    "belt",
    "belt_longitudinal",
    "belt_vertical",
    "belt_roll",
    "belt_pitch",
    "effect_lateral",
    "effect_longitudinal",
    "effect_vertical",
    "effect_yaw",
    "effect_roll",
    "effect_pitch",
    "wind",
    "unused",
};

// Channels the GROUND profile shapes; the others come from the AIR profile alone.
inline constexpr int kWeightedChannels = 10;
// Channels whose input is clamped to the input limits before filtering.
inline constexpr int kClampedChannels = 8;
// Axes the output frame carries, clamped to the rig limits.
inline constexpr int kRigAxes = 6;

std::optional<int> dofByName(std::string_view name);

}  // namespace tarvelmond::offline
