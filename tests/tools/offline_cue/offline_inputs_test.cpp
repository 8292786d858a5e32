// The tool's inputs: telemetry CSV files and rig profiles in TOML, what is accepted, where errors are
// reported, and what installing a profile does to an engine.
#include <gtest/gtest.h>

#include <sstream>

#include "builtin_profile.h"
#include "dof_names.h"
#include "input_error.h"
#include "profile_file.h"
#include "profile_installation.h"
#include "replay.h"
#include "scenario.h"
#include "telemetry_csv.h"

namespace tarvelmond::offline::test {
namespace {

TelemetryTable csv(const std::string& text) {
    return parseTelemetryCsv(text, "flight.csv");
}

RigProfile toml(const std::string& text) {
    return parseProfileFile(text, "rig.toml");
}

TEST(TelemetryCsv, TakesAnySubsetOfChannelsInAnyOrderPastAByteOrderMarkAndBlankLines) {
    const TelemetryTable table =
        csv("\xEF\xBB\xBFroll_position, time_s ,on_ground,lateral_accel_g\r\n\n1.5,0,1,-2\r\n  \n"
            "+2.5,0.002,0,3e-1\r\n");
    EXPECT_EQ(table.channels, (std::vector<Channel>{Channel::roll_position, Channel::lateral_accel_g}));
    EXPECT_EQ(table.values, (std::vector<double>{1.5, -2.0, 2.5, 0.3}));
    EXPECT_EQ(table.onGround, (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(table.timeS, (std::vector<double>{0.0, 0.002}));
    const TelemetryTable bare = csv("speed\n10\n20\n");
    EXPECT_TRUE(bare.timeS.empty());
    EXPECT_EQ(bare.onGround, (std::vector<std::uint8_t>{0, 0})) << "without the column the aircraft flies";
}

TEST(TelemetryCsv, WritingAndReadingBackKeepsEveryValueExactly) {
    const TelemetryTable flight = builtInFlight();
    std::ostringstream text;
    writeTelemetryCsv(text, flight);
    const TelemetryTable back = parseTelemetryCsv(text.str(), "written.csv");
    EXPECT_TRUE(back.channels == flight.channels && back.onGround == flight.onGround &&
                back.timeS == flight.timeS && back.values == flight.values);
}

enum Stage { kCsv, kProfile, kInstall };

TEST(InputFiles, ErrorsNameFileLineAndColumnAndSuggestTheNearestName) {
    const struct {
        Stage stage;
        const char* text;
        const char* place;
        const char* words;
    } cases[] = {
        {kCsv, "time_s,lateral_acel_g\n0,1\n", "flight.csv:1:8",
         "unknown column \"lateral_acel_g\" (did you mean \"lateral_accel_g\"?)"},
        {kCsv, "speed,rpm\n1,2\n3, 4.5.6\n", "flight.csv:3:4",
         "malformed number \"4.5.6\" in column \"rpm\""},
        {kCsv, "speed\n\nnan\n", "flight.csv:3:1", "malformed number \"nan\""},
        {kCsv, "speed,rpm\n1,\n", "flight.csv:2:3", "empty field in column \"rpm\""},
        {kCsv, "speed,rpm\n1,2\n1,2,3\n", "flight.csv:3:5", "row has 3 fields but the header has 2"},
        {kCsv, "speed,rpm,flaps\n1,2\n", "flight.csv:2:4", "missing \"flaps\""},
        {kCsv, "speed,rpm,speed\n1,2,3\n", "flight.csv:1:11",
         "duplicate column \"speed\" (first at column 1)"},
        {kCsv, "speed,,rpm\n1,2,3\n", "flight.csv:1:7", "empty column name"},
        {kCsv, "\n  \n", "flight.csv", "empty file"},
        {kCsv, "speed,rpm\n", "flight.csv:1", "no data rows"},
        {kCsv, "on_ground\n0\n2\n", "flight.csv:3:1", "on_ground must be 0"},
        {kProfile, "[air]\nfilters = { yaw = \"VALUE\" \n", "rig.toml:2:27", ""},
        {kProfile, "[air]\nfilter = {}\n", "rig.toml:2:1",
         "unknown key \"air.filter\" (did you mean \"filters\"?)"},
        {kProfile, "[air.filters]\nlateal = \"VALUE\"\n", "rig.toml:2:1",
         "unknown DOF channel \"air.filters.lateal\" (did you mean \"lateral\"?)"},
        {kProfile, "[air]\ninactive = [\"yaw\", \"rol\"]\n", "rig.toml:2:20", "did you mean \"roll\""},
        {kProfile, "[air.filters]\nyaw = 2\n", "rig.toml:2:7", "must be a filter string"},
        {kProfile, "[air]\ninactive = \"yaw\"\n", "rig.toml:2:12", "must be an array"},
        {kProfile, "[air]\nbelt_mix = { roll = \"x\" }\n", "rig.toml:2:21", "must be a number"},
        {kProfile, "[limits.input]\nyaw = [1]\n", "rig.toml:2:7", "must be [min, max]"},
        {kProfile, "[limits.input]\nyaw = [2, 1]\n", "rig.toml:2:7", "minimum above its maximum"},
        {kProfile, "air = 3\n", "rig.toml:1:7", "\"air\" must be a table"},
        {kProfile, "[air]\nbelt_mix = { lateral = 1 }\n", "rig.toml:2:14", "never read"},
        {kProfile, "[ground]\nbelt_mix = { roll = 1 }\n", "rig.toml:2:12", "air profile only"},
        {kProfile, "[limits.input]\nroll_position = [-1, 1]\n", "rig.toml:2:1", "has no effect"},
        {kProfile, "[air]\ninactive = [\"yaw\", \"yaw\"]\n", "rig.toml:2:20", "listed twice"},
        {kProfile, "[timer]\nprecise = 1\n", "rig.toml:2:11", "must be true or false"},
        {kProfile, "[timer]\nprecis = true\n", "rig.toml:2:1", "did you mean \"precise\""},
        {kProfile, "[wind]\nbaud = 9600\n", "rig.toml:1:1", "needs a \"port\""},
        {kProfile, "[wind]\nport = \"\"\n", "rig.toml:2:8", "must name a port"},
        {kProfile, "[wind]\nport = \"COM5\"\nbaud = 9600.5\n", "rig.toml:3:8", "whole number"},
        {kProfile, "[wind]\nport = \"COM5\"\ninterval_ms = 0\n", "rig.toml:3:15", "between 1 and 60000"},
        {kProfile, "[motion_compensation]\ngain = nan\n", "rig.toml:2:8", "finite"},
        {kProfile, "[motion_compensation]\nsmoothing = \"60\"\n", "rig.toml:2:13", "must be a number"},
        {kInstall, "[ground.filters]\nlateral = \"VALUE\"\n\n[air.filters]\nyaw = \"GAIN(VALUE)\"\n",
         "rig.toml:5:7", "invalid filter string for DOF 3 \"yaw\" of the air profile: \"GAIN(VALUE)\""},
        {kInstall, "[ground.filters]\npitch_position = \"EMALP(VALUE;0.5)\"\n", "rig.toml:2:18",
         "DOF 9 \"pitch_position\" of the ground"},
    };
    for (const auto& c : cases) {
        try {
            if (c.stage == kCsv) {
                csv(c.text);
            } else {
                const RigProfile profile = toml(c.text);
                if (c.stage == kInstall) installProfile(*makeReplayEngine(), profile);
            }
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const InputError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind(std::string(c.place) + ": ", 0), 0U) << message;
            EXPECT_NE(message.find(c.words), std::string::npos) << message;
        }
    }
}

TEST(ProfileFile, ReadsTheHostsOwnTablesAndLeavesThemUnsetWhenAbsent) {
    const RigProfile absent = toml("[air.filters]\nyaw = \"VALUE\"\n");
    EXPECT_FALSE(absent.preciseTimer);
    EXPECT_FALSE(absent.wind);
    EXPECT_FALSE(absent.motionCompensation);

    const RigProfile set = toml(
        "[timer]\nprecise = false\n[wind]\nport = \"COM6\"\ninterval_ms = 20\n"
        "[motion_compensation]\ngain = 0.5\n");
    ASSERT_TRUE(set.preciseTimer);
    EXPECT_FALSE(*set.preciseTimer);
    ASSERT_TRUE(set.wind);
    EXPECT_EQ(set.wind->port, "COM6");
    EXPECT_EQ(set.wind->baud, 115200);  // the defaults a fan usually takes
    EXPECT_EQ(set.wind->mode, "8N1");
    EXPECT_EQ(set.wind->intervalMs, 20u);
    ASSERT_TRUE(set.motionCompensation);
    EXPECT_TRUE(set.motionCompensation->enabled);
    EXPECT_EQ(set.motionCompensation->gain, 0.5);
    EXPECT_FALSE(set.motionCompensation->smoothing) << "the library's own default stays";
}

TEST(ProfileInstallation, SetsTheEngineUpAsTheHostSettersWould) {
    const RigProfile profile = toml(R"toml(
[air]
filters = { yaw = "GAIN(VALUE;2)", wind = "VALUE" }
inactive = ["wind", "belt"]
belt_mix = { longitudinal = 0.5, pitch = 2 }
[ground]
filters = { lateral = "EMALP(VALUE;4)" }
inactive = ["lateral"]
[limits.input]
yaw = [-90, 90.5]
[limits.rig]
pitch = [-1.5, 2]
)toml");
    auto engine = makeReplayEngine();
    installProfile(*engine, profile);
    const auto& air = engine->cues.profiles[kAirProfile];
    const auto& ground = engine->cues.profiles[kGroundProfile];
    EXPECT_EQ(air.chain(3).current()->stages.front().kind, GAIN);
    EXPECT_EQ(air.chain(3).current()->stages.front().p1, 2.0f);
    EXPECT_FALSE(air.chain(2).current()->valid) << "no string: left as constructed";
    EXPECT_FALSE(air.getActivedof(21));
    EXPECT_FALSE(ground.getActivedof(0)) << "each profile has its own flags";
    EXPECT_EQ(air.beltMix(1), 0.5);
    EXPECT_EQ(engine->cues.inputLimits[3].max.load(), 90.5);
    EXPECT_EQ(engine->output.rigLimits[5].max.load(), 2.0);
    EXPECT_TRUE(engine->motionSystemReady.load());
    EXPECT_EQ(engine->fade.progress.load(), 0.0) << "installing holds the output, as in the live system";
}

TEST(ProfileFile, TheBuiltInProfileIsCompleteAndInstalls) {
    const RigProfile profile = parseProfileFile(builtInProfileText(), "builtin");
    EXPECT_TRUE(profile.warnings.empty()) << profile.warnings.front();
    auto engine = makeReplayEngine();
    installProfile(*engine, profile);
    for (int dof = 0; dof < kWeightedChannels; ++dof) {
        EXPECT_TRUE(engine->cues.profiles[kAirProfile].chain(dof).current()->valid) << kDofNames[dof];
        EXPECT_TRUE(engine->cues.profiles[kGroundProfile].chain(dof).current()->valid) << kDofNames[dof];
    }
}

TEST(ProfileFile, WarnsAboutInputsClampedToZeroAndGroundFiltersNeverEvaluated) {
    const struct {
        const char* text;
        const char* warning;  // nullptr: none
    } cases[] = {
        {"[air.filters]\nlateral = \"VALUE\"\nroll_position = \"VALUE\"\n", "limits.input.lateral"},
        {"[air]\nfilters = { lateral = \"VALUE\" }\ninactive = [\"lateral\"]\n", nullptr},
        {"[ground.filters]\nwind = \"VALUE\"\n", "ground.filters.wind"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> warnings = toml(c.text).warnings;
        ASSERT_EQ(warnings.size(), c.warning ? 1U : 0U) << c.text;
        EXPECT_TRUE(!c.warning || warnings[0].find(c.warning) != std::string::npos) << warnings[0];
    }
}

}  // namespace
}  // namespace tarvelmond::offline::test
