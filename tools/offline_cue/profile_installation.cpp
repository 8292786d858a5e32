#include "profile_installation.h"

#include "dof_names.h"
#include "input_error.h"
#include "motion/chain_replacement.h"
#include "motion/transition.h"

namespace tarvelmond::offline {
namespace {

constexpr std::array<const char*, 2> kProfileKeys = {"air", "ground"};

void storeLimit(DofLimit& target, const Limit& limit) {
    target.min.store(limit.min);
    target.max.store(limit.max);
}

}  // namespace

void installProfile(MotionEngine& engine, const RigProfile& profile) {
    for (std::size_t dof = 0; dof < kDofNames.size(); ++dof) {
        if (profile.inputLimits[dof]) storeLimit(engine.inputLimits[dof], *profile.inputLimits[dof]);
        if (profile.rigLimits[dof]) storeLimit(engine.rigLimits[dof], *profile.rigLimits[dof]);
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
            // As setActiveAxis: every change of the active axes restarts the output fade.
            engine.hostProfile(index)->setActive(dof, settings.active[static_cast<std::size_t>(dof)]);
            holdOutput(engine);
        }
    }
    for (const auto& [index, weight] : profile.beltMix)
        engine.hostProfile(kAirProfile)->setBeltMix(index, weight);
    // As setMotionsystemready(1): the rig may move; the output fades in from the held cues.
    engine.motionSystemReady.store(true);
    holdOutput(engine);
}

}  // namespace tarvelmond::offline
