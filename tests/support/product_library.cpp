#include "support/product_library.h"

namespace tarvelmond::test {

const std::vector<std::string>& exportedFunctionNames() {
    static const std::vector<std::string> names = {
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
