#pragma once
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dof_names.h"

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

// The wind device driven by the wind channel, as initWindSerial takes it.
struct WindDevice {
    std::string port;  // "COM5"
    int baud = 115200;
    std::string mode = "8N1";
    unsigned intervalMs = 15;
};

// The rig pose published for VR motion compensation.
struct MotionCompensation {
    bool enabled = true;
    std::optional<double> gain;       // the library's default (1) when unset
    std::optional<double> smoothing;  // ticks; the library's default (60) when unset
};

// A rig profile as a host would install it: both profiles, the belt mix, input and rig limits, and the
// host's own settings (timer mode, wind device, motion compensation), which do not change the cues.
struct RigProfile {
    std::string source;
    std::array<ProfileSettings, 2> profiles;      // kAirProfile, kGroundProfile
    std::vector<std::pair<int, double>> beltMix;  // (belt-mix index, weight) of the AIR profile
    std::array<std::optional<Limit>, kDofChannels> inputLimits;
    std::array<std::optional<Limit>, kDofChannels> rigLimits;
    std::optional<bool> preciseTimer;  // unset: the library's default (precise)
    std::optional<WindDevice> wind;
    std::optional<MotionCompensation> motionCompensation;
    std::vector<std::string> warnings;  // settings that are legal but have no effect or a surprising one
};

}  // namespace tarvelmond::offline
