// Rig profiles in TOML: the schema, where errors are reported, and what installing one does to an engine.
#include <gtest/gtest.h>

#include "builtin_profile.h"
#include "dof_names.h"
#include "offline_test_support.h"
#include "profile_file.h"
#include "profile_installation.h"
#include "replay.h"

namespace tarvelmond::offline::test {
namespace {

RigProfile parse(const std::string& text) {
    return parseProfileFile(text, "rig.toml");
}

TEST(ProfileFile, TheBuiltInProfileIsCompleteAndInstalls) {
    const RigProfile profile = parseProfileFile(builtInProfileText(), "builtin");
    EXPECT_TRUE(profile.warnings.empty()) << profile.warnings.front();
    auto engine = makeReplayEngine();
    installProfile(*engine, profile);
    for (int dof = 0; dof < kWeightedChannels; ++dof) {
        EXPECT_TRUE(engine->profiles[kAirProfile].chain(dof).head()->valid.load()) << kDofNames[dof];
        EXPECT_TRUE(engine->profiles[kGroundProfile].chain(dof).head()->valid.load()) << kDofNames[dof];
    }
}

TEST(ProfileFile, ReadsFiltersInactiveChannelsBeltMixAndLimits) {
    const RigProfile profile = parse(R"toml(
[air]
filters = { yaw = "GAIN(VALUE;2)", wind = "VALUE" }
inactive = ["wind", "belt"]
belt_mix = { longitudinal = 0.5, pitch = 2 }

[ground.filters]
lateral = "EMALP(VALUE;4)"

[limits.input]
yaw = [-90, 90.5]
lateral = [-3, 3]
[limits.rig]
pitch = [-1.5, 2]
)toml");
    const auto& air = profile.profiles[kAirProfile];
    const auto& ground = profile.profiles[kGroundProfile];
    ASSERT_TRUE(air.filters[3]);
    EXPECT_EQ(air.filters[3]->text, "GAIN(VALUE;2)");
    EXPECT_EQ(air.filters[3]->place.line, 3);
    EXPECT_EQ(air.filters[3]->place.column, 19);
    EXPECT_TRUE(air.filters[21]);
    EXPECT_FALSE(air.filters[0]);
    EXPECT_FALSE(air.active[21]);
    EXPECT_FALSE(air.active[10]);
    EXPECT_TRUE(air.active[3]);
    EXPECT_TRUE(ground.active[21]) << "each profile has its own flags";
    ASSERT_TRUE(ground.filters[0]);
    EXPECT_EQ(ground.filters[0]->text, "EMALP(VALUE;4)");
    EXPECT_EQ(profile.beltMix, (std::vector<std::pair<int, double>>{{1, 0.5}, {5, 2.0}}));
    ASSERT_TRUE(profile.inputLimits[3]);
    EXPECT_EQ(profile.inputLimits[3]->min, -90.0);
    EXPECT_EQ(profile.inputLimits[3]->max, 90.5);
    EXPECT_FALSE(profile.inputLimits[1]);
    ASSERT_TRUE(profile.rigLimits[5]);
    EXPECT_EQ(profile.rigLimits[5]->min, -1.5);
}

TEST(ProfileFile, NamesTheLineAndColumnOfATomlSyntaxError) {
    expectInputError([] { parse("[air]\nfilters = { yaw = \"VALUE\" \n"); }, 2, 27, "");
    expectInputError([] { parse("[air.filters]\nyaw = VALUE\n"); }, 2, 7, "");
}

TEST(ProfileFile, RejectsUnknownKeysWithASuggestion) {
    expectInputError([] { parse("[air]\nfilter = {}\n"); }, 2, 1,
                     "unknown key \"air.filter\" (did you mean \"filters\"?)");
    expectInputError([] { parse("[limits]\ninputs = {}\n"); }, 2, 1, "did you mean \"input\"");
    expectInputError([] { parse("[gound]\n"); }, 1, 2, "unknown key \"gound\"");
    expectInputError([] { parse("[air.filters]\nlateal = \"VALUE\"\n"); }, 2, 1,
                     "unknown DOF channel \"air.filters.lateal\" (did you mean \"lateral\"?)");
    expectInputError([] { parse("[air]\ninactive = [\"yaw\", \"rol\"]\n"); }, 2, 20, "did you mean \"roll\"");
}

TEST(ProfileFile, RejectsValuesOfTheWrongTypeOrShape) {
    expectInputError([] { parse("[air.filters]\nyaw = 2\n"); }, 2, 7, "must be a filter string");
    expectInputError([] { parse("[air]\ninactive = \"yaw\"\n"); }, 2, 12, "must be an array");
    expectInputError([] { parse("[air]\nbelt_mix = { roll = \"x\" }\n"); }, 2, 21, "must be a number");
    expectInputError([] { parse("[limits.input]\nyaw = [1]\n"); }, 2, 7, "must be [min, max]");
    expectInputError([] { parse("[limits.input]\nyaw = [2, 1]\n"); }, 2, 7, "minimum above its maximum");
    expectInputError([] { parse("air = 3\n"); }, 1, 7, "\"air\" must be a table");
}

TEST(ProfileFile, RejectsSettingsTheEngineNeverReads) {
    expectInputError([] { parse("[air]\nbelt_mix = { lateral = 1 }\n"); }, 2, 14, "never read");
    expectInputError([] { parse("[ground]\nbelt_mix = { roll = 1 }\n"); }, 2, 12, "air profile only");
    expectInputError([] { parse("[limits.input]\nroll_position = [-1, 1]\n"); }, 2, 1, "has no effect");
    expectInputError([] { parse("[limits.rig]\nbelt = [0, 1]\n"); }, 2, 1, "has no effect");
    expectInputError([] { parse("[air]\ninactive = [\"yaw\", \"yaw\"]\n"); }, 2, 20, "listed twice");
}

TEST(ProfileFile, WarnsAboutChannelsWhoseInputIsClampedToZero) {
    const RigProfile profile = parse("[air.filters]\nlateral = \"VALUE\"\nroll_position = \"VALUE\"\n");
    ASSERT_EQ(profile.warnings.size(), 1U);
    EXPECT_NE(profile.warnings[0].find("limits.input.lateral"), std::string::npos);
    const RigProfile inactive = parse("[air]\nfilters = { lateral = \"VALUE\" }\ninactive = [\"lateral\"]\n");
    EXPECT_TRUE(inactive.warnings.empty());
}

TEST(ProfileFile, WarnsAboutGroundFiltersThatAreNeverEvaluated) {
    const RigProfile profile = parse("[ground.filters]\nwind = \"VALUE\"\n");
    ASSERT_EQ(profile.warnings.size(), 1U);
    EXPECT_NE(profile.warnings[0].find("ground.filters.wind"), std::string::npos);
}

TEST(ProfileInstallation, AnInvalidFilterStringNamesThePlaceTheProfileAndTheDof) {
    const RigProfile profile =
        parse("[ground.filters]\nlateral = \"VALUE\"\n\n[air.filters]\nyaw = \"GAIN(VALUE)\"\n");
    auto engine = makeReplayEngine();
    expectInputError([&] { installProfile(*engine, profile); }, 5, 7,
                     "invalid filter string for DOF 3 \"yaw\" of the air profile: \"GAIN(VALUE)\"");
    const RigProfile ground = parse("[ground.filters]\npitch_position = \"EMALP(VALUE;0.5)\"\n");
    expectInputError([&] { installProfile(*makeReplayEngine(), ground); }, 2, 18,
                     "DOF 9 \"pitch_position\" of the ground");
}

TEST(ProfileInstallation, SetsTheEngineUpAsTheHostSettersWould) {
    const RigProfile profile = parse(R"toml(
[air]
filters = { yaw = "GAIN(VALUE;2)" }
inactive = ["wind"]
belt_mix = { vertical = 0.25 }
[ground]
inactive = ["lateral"]
[limits.input]
yaw = [-5, 6]
[limits.rig]
roll = [-1, 1]
)toml");
    auto engine = makeReplayEngine();
    installProfile(*engine, profile);
    EXPECT_TRUE(engine->profiles[kAirProfile].chain(3).head()->valid.load());
    EXPECT_FALSE(engine->profiles[kAirProfile].chain(2).head()->valid.load())
        << "no string: left as constructed";
    EXPECT_FALSE(engine->profiles[kAirProfile].getActivedof(21));
    EXPECT_TRUE(engine->profiles[kAirProfile].getActivedof(0));
    EXPECT_FALSE(engine->profiles[kGroundProfile].getActivedof(0));
    EXPECT_EQ(engine->profiles[kAirProfile].beltMix(2), 0.25);
    EXPECT_EQ(engine->inputLimits[3].min.load(), -5.0);
    EXPECT_EQ(engine->inputLimits[3].max.load(), 6.0);
    EXPECT_EQ(engine->inputLimits[0].max.load(), 0.0);
    EXPECT_EQ(engine->rigLimits[4].max.load(), 1.0);
    EXPECT_TRUE(engine->motionSystemReady.load());
    EXPECT_EQ(engine->outputFade.load(), 0.0) << "installing holds the output, as in the live system";
}

}  // namespace
}  // namespace tarvelmond::offline::test
