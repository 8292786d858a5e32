#pragma once
#include <memory>
#include <string>

#include <tarvelmond.h>

#include "library_loader.h"

namespace tarvelmond::host {

// The exports the host calls, resolved by name from the loaded library, with the public header's
// signatures. Named as the header names them, so the host reads as an example of the interface.
struct LibraryApi {
    decltype(&::startGamesource_Thread) startGamesource_Thread = nullptr;
    decltype(&::stopGamesource_Thread) stopGamesource_Thread = nullptr;
    decltype(&::setMotionsystemready) setMotionsystemready = nullptr;
    decltype(&::setTimerPrecision) setTimerPrecision = nullptr;
    decltype(&::getGameID) getGameID = nullptr;
    decltype(&::getGameName) getGameName = nullptr;
    decltype(&::getGameData) getGameData = nullptr;
    decltype(&::getGameDataNames) getGameDataNames = nullptr;
    decltype(&::getMotionCueData) getMotionCueData = nullptr;
    decltype(&::setActiveAxis) setActiveAxis = nullptr;
    decltype(&::setBelt_Mix) setBelt_Mix = nullptr;
    decltype(&::setcheckFilterstring) setcheckFilterstring = nullptr;
    decltype(&::SetRigDofLimitValue) SetRigDofLimitValue = nullptr;
    decltype(&::SetInputDofLimitValue) SetInputDofLimitValue = nullptr;
    decltype(&::getactiveProfil) getactiveProfil = nullptr;
    decltype(&::getTransitionStatus) getTransitionStatus = nullptr;
    decltype(&::getProfilAirTransitionStatus) getProfilAirTransitionStatus = nullptr;
    decltype(&::getProfilGrdTransitionStatus) getProfilGrdTransitionStatus = nullptr;
    decltype(&::GetCalculationSnapshots) GetCalculationSnapshots = nullptr;
    decltype(&::FreeCalculationSnapshots) FreeCalculationSnapshots = nullptr;
    decltype(&::GetAccelerationSnapshots) GetAccelerationSnapshots = nullptr;
    decltype(&::FreeAccelerationSnapshots) FreeAccelerationSnapshots = nullptr;
    decltype(&::activateMotionCancel) activateMotionCancel = nullptr;
    decltype(&::setFilterMotionCancel) setFilterMotionCancel = nullptr;
    decltype(&::setGainMotionCancel) setGainMotionCancel = nullptr;
    decltype(&::startKestrovane_Thread) startKestrovane_Thread = nullptr;
    decltype(&::stopKestrovane_Thread) stopKestrovane_Thread = nullptr;
    decltype(&::isConnected) isConnected = nullptr;
    decltype(&::resumeInterface) resumeInterface = nullptr;
    decltype(&::enableAutoconnect) enableAutoconnect = nullptr;
    decltype(&::disableAutoconnect) disableAutoconnect = nullptr;
    decltype(&::setStandartPort) setStandartPort = nullptr;
    decltype(&::initWindSerial) initWindSerial = nullptr;
};

// The library and its resolved exports; the exports are valid as long as this object lives.
class Library {
  public:
    // Loads the library by name; null with `error` set when it cannot be loaded or lacks an export.
    static std::unique_ptr<Library> load(std::string& error);

    const LibraryApi& api() const { return api_; }

  private:
    Library();
    LoadedLibrary loaded_;
    LibraryApi api_;
};

}  // namespace tarvelmond::host
