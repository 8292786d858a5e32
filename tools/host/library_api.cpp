#include "library_api.h"

namespace tarvelmond::host {
namespace {

class Resolver {
  public:
    Resolver(const LoadedLibrary& library, std::string& error) : library_(library), error_(error) {}

    template <typename Function>
    void operator()(const char* name, Function& target) {
        target = reinterpret_cast<Function>(library_.symbol(name));
        if (target == nullptr && error_.empty()) {
            error_ = std::string(libraryFileName()) + " exports no " + name + " (an older library?)";
        }
    }

  private:
    const LoadedLibrary& library_;
    std::string& error_;
};

}  // namespace

Library::Library() : loaded_(libraryFileName()) {}

std::unique_ptr<Library> Library::load(std::string& error) {
    std::unique_ptr<Library> library(new Library());
    if (!library->loaded_.loaded()) {
        error = std::string("cannot load ") + libraryFileName() + ": " + library->loaded_.error();
        return nullptr;
    }
    Resolver resolve(library->loaded_, error);
    LibraryApi& api = library->api_;
#define TARVELMOND_RESOLVE(name) resolve(#name, api.name)
    TARVELMOND_RESOLVE(startGamesource_Thread);
    TARVELMOND_RESOLVE(stopGamesource_Thread);
    TARVELMOND_RESOLVE(setMotionsystemready);
    TARVELMOND_RESOLVE(setTimerPrecision);
    TARVELMOND_RESOLVE(getGameID);
    TARVELMOND_RESOLVE(getGameName);
    TARVELMOND_RESOLVE(getGameData);
    TARVELMOND_RESOLVE(getGameDataNames);
    TARVELMOND_RESOLVE(getMotionCueData);
    TARVELMOND_RESOLVE(setActiveAxis);
    TARVELMOND_RESOLVE(setBelt_Mix);
    TARVELMOND_RESOLVE(setcheckFilterstring);
    TARVELMOND_RESOLVE(SetRigDofLimitValue);
    TARVELMOND_RESOLVE(SetInputDofLimitValue);
    TARVELMOND_RESOLVE(getactiveProfil);
    TARVELMOND_RESOLVE(getTransitionStatus);
    TARVELMOND_RESOLVE(getProfilAirTransitionStatus);
    TARVELMOND_RESOLVE(getProfilGrdTransitionStatus);
    TARVELMOND_RESOLVE(GetCalculationSnapshots);
    TARVELMOND_RESOLVE(FreeCalculationSnapshots);
    TARVELMOND_RESOLVE(GetAccelerationSnapshots);
    TARVELMOND_RESOLVE(FreeAccelerationSnapshots);
    TARVELMOND_RESOLVE(activateMotionCancel);
    TARVELMOND_RESOLVE(setFilterMotionCancel);
    TARVELMOND_RESOLVE(setGainMotionCancel);
    TARVELMOND_RESOLVE(startKestrovane_Thread);
    TARVELMOND_RESOLVE(stopKestrovane_Thread);
    TARVELMOND_RESOLVE(isConnected);
    TARVELMOND_RESOLVE(resumeInterface);
    TARVELMOND_RESOLVE(enableAutoconnect);
    TARVELMOND_RESOLVE(disableAutoconnect);
    TARVELMOND_RESOLVE(setStandartPort);
    TARVELMOND_RESOLVE(initWindSerial);
#undef TARVELMOND_RESOLVE
    if (!error.empty()) {
        return nullptr;
    }
    return library;
}

}  // namespace tarvelmond::host
