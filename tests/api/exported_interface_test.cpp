// The product loaded by name, as a host loads it: every documented name resolves, and a fresh
// library answers with its defaults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/product_library.h"

namespace tarvelmond::test {
namespace {

// Every function name the product exports, as hosts resolve them.
// clang-format off
const char* const kExportedNames[] = {
    "startGamesource_Thread", "stopGamesource_Thread", "setMotionsystemready", "setTimerPrecision",
    "getGameID", "getGameName", "getGameTimeFrame", "getMotionDataTimeFrame", "getGameDataCount",
    "getGameData", "getGameDataNames", "getMotionCueData", "setActiveAxis", "setBelt_Mix",
    "setcheckFilterstring", "SetRigDofLimitValue", "SetInputDofLimitValue", "getactiveProfil",
    "getTransitionStatus", "getProfilAirTransitionStatus", "getProfilGrdTransitionStatus",
    "GetCalculationSnapshots", "FreeCalculationSnapshots", "GetAccelerationSnapshots",
    "FreeAccelerationSnapshots", "GetPositionSnapshot", "getOutputData", "activateMotionCancel",
    "setFilterMotionCancel", "setGainMotionCancel", "startKestrovane_Thread", "stopKestrovane_Thread",
    "sendMessagemmf", "autoMessagemmf", "readMessagemmf", "newMessagemmf", "isConnected",
    "isInterfaceRunning", "pauseInterface", "resumeInterface", "enableAutoconnect", "disableAutoconnect",
    "setStandartPort", "getOutputTimeFrame", "initWindSerial", "setUDPport", "startUPDListenThread",
    "setMulticastAddr", "startUPDMulticastSenderThread",
};
// clang-format on

TEST(ExportedInterface, EveryDocumentedNameResolves) {
    auto& library = productLibrary();
    ASSERT_TRUE(library.loaded()) << library.error();
    for (const char* name : kExportedNames)
        EXPECT_NE(library.symbol(name), nullptr) << name;
    // Names are case-sensitive and undecorated: near misses must not resolve.
    EXPECT_EQ(library.symbol("getActiveProfil"), nullptr);
    EXPECT_EQ(library.symbol("setBeltMix"), nullptr);
    EXPECT_EQ(library.symbol("_getGameID"), nullptr);
}

TEST(ExportedInterface, FirstQueryCreatesTheEngineWithItsDefaults) {
    auto& library = productLibrary();
    ASSERT_TRUE(library.loaded()) << library.error();
    // The first call of this program into the library: it must create the engine on its own.
    EXPECT_EQ(library.function<int (*)()>("getactiveProfil")(), 0);
    EXPECT_EQ(library.function<double (*)()>("getProfilAirTransitionStatus")(), 100.0);
    EXPECT_EQ(library.function<double (*)()>("getProfilGrdTransitionStatus")(), 0.0);
    EXPECT_EQ(library.function<double (*)()>("getTransitionStatus")(), 100.0);
    EXPECT_EQ(library.function<int (*)()>("getGameID")(), -1);
    EXPECT_EQ(library.function<int (*)()>("getGameDataCount")(), 44);

    char name[32];
    std::memset(name, 'x', sizeof name);
    library.function<void (*)(char*)>("getGameName")(name);
    EXPECT_STREQ(name, "No Game online");

    const char* const* names = nullptr;
    int count = 0;
    library.function<void (*)(const char* const**, int*)>("getGameDataNames")(&names, &count);
    ASSERT_EQ(count, 43);
    EXPECT_STREQ(names[0], "lateral_speed");
    EXPECT_STREQ(names[40], "simtools_axis4b");
    EXPECT_EQ(names[41], nullptr);
    EXPECT_EQ(names[42], nullptr);

    double* data = nullptr;
    library.function<void (*)(double**, int*)>("getGameData")(&data, &count);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(count, 43);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(data[i], 0.0) << i;
}

}  // namespace
}  // namespace tarvelmond::test
