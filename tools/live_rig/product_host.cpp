#include "product_host.h"

#include "dof_names.h"

namespace tarvelmond::rig {

bool ProductHost::install(const offline::RigProfile& profile, std::string& error) {
    for (int dof = 0; dof < offline::kDofChannels; ++dof) {
        const auto index = static_cast<std::size_t>(dof);
        if (const auto& limit = profile.inputLimits[index]) inputLimit(dof, limit->min, limit->max);
        if (const auto& limit = profile.rigLimits[index]) rigLimit(dof, limit->min, limit->max);
    }
    for (int which : {0, 1}) {
        const offline::ProfileSettings& settings = profile.profiles[static_cast<std::size_t>(which)];
        for (int dof = 0; dof < offline::kDofChannels; ++dof) {
            const auto index = static_cast<std::size_t>(dof);
            if (const auto& setting = settings.filters[index];
                setting && filter(which, dof, setting->text.c_str()) != 1) {
                error = "the library rejects the filter string of " + std::string(offline::kDofNames[index]) +
                        ": " + setting->text;
                return false;
            }
            activeAxis(which, dof, settings.active[index]);
        }
    }
    for (const auto& [index, weight] : profile.beltMix)
        beltMix(0, index, weight);
    return true;
}

}  // namespace tarvelmond::rig
