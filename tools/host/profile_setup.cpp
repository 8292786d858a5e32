#include "profile_setup.h"

#include "input_error.h"

namespace tarvelmond::host {
namespace {

constexpr std::array<const char*, 2> kProfileNames = {"air", "ground"};

}  // namespace

void checkFilters(const LibraryApi& api, const offline::RigProfile& profile) {
    for (int which : {offline::kAirProfile, offline::kGroundProfile}) {
        const offline::ProfileSettings& settings = profile.profiles[static_cast<std::size_t>(which)];
        for (int dof = 0; dof < offline::kDofChannels; ++dof) {
            const auto index = static_cast<std::size_t>(dof);
            const auto& filter = settings.filters[index];
            if (!filter || api.setcheckFilterstring(which, dof, filter->text.c_str()) == 1) {
                continue;
            }
            throw offline::InputError(profile.source, filter->place.line, filter->place.column,
                                      "the library refuses the filter string of " +
                                          std::string(offline::kDofNames[index]) + " in the " +
                                          kProfileNames[static_cast<std::size_t>(which)] + " profile: \"" +
                                          filter->text + "\"");
        }
    }
}

std::vector<std::string> installProfile(const LibraryApi& api, const offline::RigProfile& profile) {
    std::vector<std::string> warnings;
    for (int dof = 0; dof < offline::kDofChannels; ++dof) {
        const auto index = static_cast<std::size_t>(dof);
        if (const auto& limit = profile.inputLimits[index]) {
            api.SetInputDofLimitValue(dof, limit->min, limit->max);
        }
        if (const auto& limit = profile.rigLimits[index]) {
            api.SetRigDofLimitValue(dof, limit->min, limit->max);
        }
    }
    checkFilters(api, profile);
    for (int which : {offline::kAirProfile, offline::kGroundProfile}) {
        const offline::ProfileSettings& settings = profile.profiles[static_cast<std::size_t>(which)];
        for (int dof = 0; dof < offline::kDofChannels; ++dof) {
            api.setActiveAxis(which, dof, settings.active[static_cast<std::size_t>(dof)]);
        }
    }
    for (const auto& [index, weight] : profile.beltMix) {
        api.setBelt_Mix(offline::kAirProfile, index, weight);
    }
    if (profile.wind) {
        const std::basic_string<tarvelmond_utf16> port(profile.wind->port.begin(), profile.wind->port.end());
        const std::basic_string<tarvelmond_utf16> mode(profile.wind->mode.begin(), profile.wind->mode.end());
        if (api.initWindSerial(port.c_str(), profile.wind->baud, mode.c_str(), profile.wind->intervalMs) !=
            1) {
            // The rig moves without a fan: worth a warning, not a refusal.
            warnings.push_back("the wind device " + profile.wind->port + " is not a known port; no wind");
        }
    }
    if (profile.motionCompensation && profile.motionCompensation->enabled) {
        api.activateMotionCancel(true);
        // The settings take effect only once the block is open.
        if (profile.motionCompensation->gain) {
            api.setGainMotionCancel(*profile.motionCompensation->gain);
        }
        if (profile.motionCompensation->smoothing) {
            api.setFilterMotionCancel(*profile.motionCompensation->smoothing);
        }
    }
    return warnings;
}

void applyTimerMode(const LibraryApi& api, const offline::RigProfile& profile) {
    if (profile.preciseTimer) {
        api.setTimerPrecision(*profile.preciseTimer ? 1 : 0);
    }
}

void fadeToRest(const LibraryApi& api) {
    for (int which : {offline::kAirProfile, offline::kGroundProfile}) {
        for (int dof = 0; dof < offline::kDofChannels; ++dof) {
            api.setActiveAxis(which, dof, false);
        }
    }
}

}  // namespace tarvelmond::host
