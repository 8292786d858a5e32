// The product loaded by name, as a host loads it: every documented name resolves, and a fresh
// library answers with its defaults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/product_library.h"

namespace tarvelmond::test {
namespace {

TEST(ExportedInterface, EveryDocumentedNameResolves) {
    auto& library = productLibrary();
    ASSERT_TRUE(library.loaded()) << library.error();
    for (const std::string& name : exportedFunctionNames()) {
        EXPECT_NE(library.symbol(name.c_str()), nullptr) << name;
    }
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

TEST(ExportedInterface, FilterStringsAreCheckedThroughTheLibrary) {
    auto& library = productLibrary();
    ASSERT_TRUE(library.loaded()) << library.error();
    auto check = library.function<int (*)(int, int, const char*)>("setcheckFilterstring");
    EXPECT_EQ(check(0, 0, "GAIN(EMALP(VALUE;10);2)"), 1);
    EXPECT_EQ(check(1, 22, "VALUE"), 1);
    EXPECT_EQ(check(0, 0, "GAIN(VALUE ;2)"), 0);
    EXPECT_EQ(check(2, 0, "VALUE"), 0);
    EXPECT_EQ(check(0, 0, nullptr), 0);
}

}  // namespace
}  // namespace tarvelmond::test
