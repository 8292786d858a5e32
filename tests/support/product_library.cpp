#include "support/product_library.h"

namespace tarvelmond::test {

const std::vector<std::string>& exportedFunctionNames() {
    static const std::vector<std::string> names = {
        "startGamesource_Thread",
        "stopGamesource_Thread",
        "setMotionsystemready",
        "setTimerPrecision",
        "getGameID",
        "getGameName",
        "getGameTimeFrame",
        "getMotionDataTimeFrame",
        "getGameDataCount",
        "getGameData",
        "getGameDataNames",
        "getMotionCueData",
        "setActiveAxis",
        "setBelt_Mix",
        "setcheckFilterstring",
        "SetRigDofLimitValue",
        "SetInputDofLimitValue",
        "getactiveProfil",
        "getTransitionStatus",
        "getProfilAirTransitionStatus",
        "getProfilGrdTransitionStatus",
        "GetCalculationSnapshots",
        "FreeCalculationSnapshots",
        "GetAccelerationSnapshots",
        "FreeAccelerationSnapshots",
        "GetPositionSnapshot",
        "getOutputData",
        "activateMotionCancel",
        "setFilterMotionCancel",
        "setGainMotionCancel",
        "startKestrovane_Thread",
        "stopKestrovane_Thread",
        "sendMessagemmf",
        "autoMessagemmf",
        "readMessagemmf",
        "newMessagemmf",
        "isConnected",
        "isInterfaceRunning",
        "pauseInterface",
        "resumeInterface",
        "enableAutoconnect",
        "disableAutoconnect",
        "setStandartPort",
        "getOutputTimeFrame",
        "initWindSerial",
    };
    return names;
}

platform::DynamicLibrary& productLibrary() {
    static platform::DynamicLibrary library(platform::productLibraryName());
    return library;
}

}  // namespace tarvelmond::test
