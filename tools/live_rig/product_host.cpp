#include "product_host.h"

#include "dof_names.h"

namespace tarvelmond::rig {
namespace {

template <typename Function>
void resolve(const platform::DynamicLibrary& library, const char* name, Function& target,
             std::string& error) {
    target = library.function<Function>(name);
    if (target == nullptr && error.empty()) error = std::string("the library exports no ") + name;
}

}  // namespace

ProductHost::ProductHost() : library_(platform::productLibraryName()) {
    if (!library_.loaded()) {
        error_ = std::string("cannot load ") + platform::productLibraryName() + ": " + library_.error();
        return;
    }
    resolve(library_, "startGamesource_Thread", startGameSource, error_);
    resolve(library_, "stopGamesource_Thread", stopGameSource, error_);
    resolve(library_, "setMotionsystemready", ready, error_);
    resolve(library_, "setcheckFilterstring", filter, error_);
    resolve(library_, "setActiveAxis", activeAxis, error_);
    resolve(library_, "setBelt_Mix", beltMix, error_);
    resolve(library_, "SetRigDofLimitValue", rigLimit, error_);
    resolve(library_, "SetInputDofLimitValue", inputLimit, error_);
    resolve(library_, "getTransitionStatus", fadePercent, error_);
    resolve(library_, "getProfilAirTransitionStatus", airPercent, error_);
    resolve(library_, "getProfilGrdTransitionStatus", groundPercent, error_);
    resolve(library_, "getGameID", gameId, error_);
    resolve(library_, "getGameName", gameName, error_);
    resolve(library_, "GetCalculationSnapshots", calculationSnapshots, error_);
    resolve(library_, "GetAccelerationSnapshots", accelerationSnapshots, error_);
    resolve(library_, "FreeCalculationSnapshots", freeSnapshots, error_);
    resolve(library_, "startKestrovane_Thread", startBridge, error_);
    resolve(library_, "stopKestrovane_Thread", stopBridge, error_);
    resolve(library_, "sendMessagemmf", send, error_);
    resolve(library_, "isConnected", connected, error_);
    resolve(library_, "enableAutoconnect", autoconnect, error_);
}

bool ProductHost::install(const offline::RigProfile& profile, std::string& error) {
    for (int dof = 0; dof < kDofChannels; ++dof) {
        const auto index = static_cast<std::size_t>(dof);
        if (const auto& limit = profile.inputLimits[index]) inputLimit(dof, limit->min, limit->max);
        if (const auto& limit = profile.rigLimits[index]) rigLimit(dof, limit->min, limit->max);
    }
    for (int which : {0, 1}) {
        const offline::ProfileSettings& settings = profile.profiles[static_cast<std::size_t>(which)];
        for (int dof = 0; dof < kDofChannels; ++dof) {
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
