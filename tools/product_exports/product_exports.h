#pragma once
#include <string>
#include <string_view>

#include <tarvelmond.h>

#include "platform/dynamic_library.h"

namespace tarvelmond::host {

// The product loaded by name from beside the program, as a motion host loads it, and the exports the
// tools call, with the signatures of the public header.
class ProductExports {
  public:
    ProductExports();
    bool loaded() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    static const char* fileName() { return platform::productLibraryName(); }

    decltype(&::startGamesource_Thread) startGameSource = nullptr;
    decltype(&::stopGamesource_Thread) stopGameSource = nullptr;
    decltype(&::setMotionsystemready) ready = nullptr;
    decltype(&::setTimerPrecision) timerPrecision = nullptr;
    decltype(&::setcheckFilterstring) filter = nullptr;
    decltype(&::setActiveAxis) activeAxis = nullptr;
    decltype(&::setBelt_Mix) beltMix = nullptr;
    decltype(&::SetRigDofLimitValue) rigLimit = nullptr;
    decltype(&::SetInputDofLimitValue) inputLimit = nullptr;
    decltype(&::getTransitionStatus) fadePercent = nullptr;
    decltype(&::getProfilAirTransitionStatus) airPercent = nullptr;
    decltype(&::getProfilGrdTransitionStatus) groundPercent = nullptr;
    decltype(&::getGameID) gameId = nullptr;
    decltype(&::getGameName) gameName = nullptr;
    decltype(&::GetCalculationSnapshots) calculationSnapshots = nullptr;
    decltype(&::GetAccelerationSnapshots) accelerationSnapshots = nullptr;
    decltype(&::FreeCalculationSnapshots) freeSnapshots = nullptr;
    decltype(&::startKestrovane_Thread) startBridge = nullptr;
    decltype(&::stopKestrovane_Thread) stopBridge = nullptr;
    decltype(&::sendMessagemmf) send = nullptr;
    decltype(&::isConnected) connected = nullptr;
    decltype(&::newMessagemmf) messageWaiting = nullptr;
    decltype(&::enableAutoconnect) autoconnect = nullptr;
    decltype(&::disableAutoconnect) noAutoconnect = nullptr;
    decltype(&::setStandartPort) standardPort = nullptr;
    decltype(&::resumeInterface) resume = nullptr;
    decltype(&::initWindSerial) initWind = nullptr;
    decltype(&::setUDPport) udpPort = nullptr;
    decltype(&::startUPDListenThread) startListener = nullptr;
    decltype(&::setMulticastAddr) multicastGroup = nullptr;
    decltype(&::startUPDMulticastSenderThread) startSender = nullptr;

  private:
    platform::DynamicLibrary library_;
    std::string error_;
};

// Text for the UTF-16 arguments (port names, modes), from ASCII.
inline std::basic_string<tarvelmond_utf16> utf16(std::string_view text) {
    return {text.begin(), text.end()};
}

}  // namespace tarvelmond::host
