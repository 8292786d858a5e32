#pragma once
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/motion_engine.h"

namespace tarvelmond::offline {

struct SourcePlace {
    int line = 0;
    int column = 0;
};

struct FilterSetting {
    std::string text;
    SourcePlace place;  // of the string in the profile file, for messages
};

// What a rig builder sets for one of the two profiles.
struct ProfileSettings {
    std::array<std::optional<FilterSetting>, kDofChannels> filters;  // none: the channel yields 0
    std::array<bool, kDofChannels> active = [] {
        std::array<bool, kDofChannels> all{};
        all.fill(true);
        return all;
    }();
};

struct Limit {
    double min;
    double max;
};

// A rig profile as a host would install it: both profiles, the belt mix, input and rig limits.
struct RigProfile {
    std::string source;
    std::array<ProfileSettings, 2> profiles;      // kAirProfile, kGroundProfile
    std::vector<std::pair<int, double>> beltMix;  // (belt-mix index, weight) of the AIR profile
    std::array<std::optional<Limit>, kDofChannels> inputLimits;
    std::array<std::optional<Limit>, kDofChannels> rigLimits;
    std::vector<std::string> warnings;  // settings that are legal but have no effect or a surprising one
};

}  // namespace tarvelmond::offline
