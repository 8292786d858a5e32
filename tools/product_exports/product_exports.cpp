#include "product_exports.h"

namespace tarvelmond::host {

ProductExports::ProductExports() : library_(platform::productLibraryName()) {
    if (!library_.loaded()) {
        error_ = std::string("cannot load ") + platform::productLibraryName() + ": " + library_.error();
        return;
    }
    library_.resolve("startGamesource_Thread", startGameSource, error_);
    library_.resolve("stopGamesource_Thread", stopGameSource, error_);
    library_.resolve("setMotionsystemready", ready, error_);
    library_.resolve("setTimerPrecision", timerPrecision, error_);
    library_.resolve("setcheckFilterstring", filter, error_);
    library_.resolve("setActiveAxis", activeAxis, error_);
    library_.resolve("setBelt_Mix", beltMix, error_);
    library_.resolve("SetRigDofLimitValue", rigLimit, error_);
    library_.resolve("SetInputDofLimitValue", inputLimit, error_);
    library_.resolve("getTransitionStatus", fadePercent, error_);
    library_.resolve("getProfilAirTransitionStatus", airPercent, error_);
    library_.resolve("getProfilGrdTransitionStatus", groundPercent, error_);
    library_.resolve("getGameID", gameId, error_);
    library_.resolve("getGameName", gameName, error_);
    library_.resolve("GetCalculationSnapshots", calculationSnapshots, error_);
    library_.resolve("GetAccelerationSnapshots", accelerationSnapshots, error_);
    library_.resolve("FreeCalculationSnapshots", freeSnapshots, error_);
    library_.resolve("startKestrovane_Thread", startBridge, error_);
    library_.resolve("stopKestrovane_Thread", stopBridge, error_);
    library_.resolve("sendMessagemmf", send, error_);
    library_.resolve("isConnected", connected, error_);
    library_.resolve("newMessagemmf", messageWaiting, error_);
    library_.resolve("enableAutoconnect", autoconnect, error_);
    library_.resolve("disableAutoconnect", noAutoconnect, error_);
    library_.resolve("setStandartPort", standardPort, error_);
    library_.resolve("resumeInterface", resume, error_);
    library_.resolve("initWindSerial", initWind, error_);
    library_.resolve("setUDPport", udpPort, error_);
    library_.resolve("startUPDListenThread", startListener, error_);
    library_.resolve("setMulticastAddr", multicastGroup, error_);
    library_.resolve("startUPDMulticastSenderThread", startSender, error_);
}

}  // namespace tarvelmond::host
