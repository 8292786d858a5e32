#include "profile_installation.h"

#include "dof_names.h"
#include "engine/chain_replacement.h"
#include "engine/engine_settings.h"
#include "input_error.h"

namespace tarvelmond::offline {
namespace {

// The profile reader spells the library's numbering out for programs that see only the public header.
static_assert(kDofChannels == tarvelmond::kDofChannels && kAirProfile == tarvelmond::kAirProfile &&
              kGroundProfile == tarvelmond::kGroundProfile);

constexpr std::array<const char*, 2> kProfileKeys = {"air", "ground"};

}  // namespace

void installProfile(MotionEngine& engine, const RigProfile& profile) {
    for (std::size_t dof = 0; dof < kDofNames.size(); ++dof) {
        const int channel = static_cast<int>(dof);
        if (const auto& limit = profile.inputLimits[dof])
            applyInputLimit(engine, channel, limit->min, limit->max);
        if (const auto& limit = profile.rigLimits[dof])
            applyRigLimit(engine, channel, limit->min, limit->max);
    }
    for (int index : {kAirProfile, kGroundProfile}) {
        const ProfileSettings& settings = profile.profiles[static_cast<std::size_t>(index)];
        for (int dof = 0; dof < kDofChannels; ++dof) {
            const auto& filter = settings.filters[static_cast<std::size_t>(dof)];
            if (!filter) continue;
            if (replaceFilterChain(engine, index, dof, filter->text.c_str()) != 1) {
                throw InputError(profile.source, filter->place.line, filter->place.column,
                                 "invalid filter string for DOF " + std::to_string(dof) + " \"" +
                                     std::string(kDofNames[static_cast<std::size_t>(dof)]) + "\" of the " +
                                     kProfileKeys[static_cast<std::size_t>(index)] + " profile: \"" +
                                     filter->text + "\"");
            }
        }
        for (int dof = 0; dof < kDofChannels; ++dof) {
            applyActiveAxis(engine, index, dof, settings.active[static_cast<std::size_t>(dof)]);
        }
    }
    for (const auto& [index, weight] : profile.beltMix)
        applyBeltMix(engine, kAirProfile, index, weight);
    // The rig may move: the output fades in from the held cues, as after setMotionsystemready(1).
    applyMotionSystemReady(engine, 1);
}

}  // namespace tarvelmond::offline
