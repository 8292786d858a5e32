// The tool as a user runs it: command line, exit codes, files written, messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "command_line.h"
#include "offline_cue_app.h"

namespace tarvelmond::offline::test {
namespace {

namespace fs = std::filesystem;

Options parseLine(std::vector<std::string_view> arguments) {
    return parseCommandLine(arguments);
}

TEST(CommandLine, ReadsEveryOptionInBothSpellingsAndRejectsWhatItCannotUse) {
    const Options options =
        parseLine({"--telemetry", "a.csv", "--profile=b.toml", "--out", "dir", "--quiet"});
    EXPECT_EQ(options.telemetry, fs::path("a.csv"));
    EXPECT_EQ(options.profile, fs::path("b.toml"));
    EXPECT_EQ(options.outDir, fs::path("dir"));
    EXPECT_TRUE(options.quiet);
    EXPECT_TRUE(parseLine({"--help"}).help);
    for (std::string_view bad : {"--telemetry", "--out=", "--quiet=yes", "--verbose", "flight.csv"})
        EXPECT_THROW(parseLine({bad}), UsageError) << bad;
}

void write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> lines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

// Runs the tool on files in a fresh temporary directory.
class OfflineCue : public ::testing::Test {
  protected:
    void SetUp() override {
        directory =
            fs::temp_directory_path() / ("offline_cue_test_" + std::to_string(std::random_device{}()));
        fs::create_directories(directory);
        options.outDir = directory / "out";
        telemetry = directory / "flight.csv";
        profile = directory / "rig.toml";
        write(telemetry, "time_s,roll_position,on_ground\n0,1,1\n0.002,2,1\n0.004,3,0\n");
        write(profile, "[air.filters]\nroll_position = \"VALUE\"\n");
    }
    void TearDown() override { fs::remove_all(directory); }

    void run(bool withFiles = true) {
        if (withFiles) {
            options.telemetry = telemetry;
            options.profile = profile;
        }
        std::ostringstream outText, errText;
        exitCode = runOfflineCue(options, outText, errText);
        out = outText.str();
        err = errText.str();
    }

    fs::path directory, telemetry, profile;
    Options options;
    int exitCode = -1;
    std::string out, err;
};

TEST_F(OfflineCue, WithoutArgumentsReplaysTheBuiltInFlightThroughItsOwnFiles) {
    run(false);
    ASSERT_EQ(exitCode, kSuccess) << err;
    EXPECT_TRUE(err.empty()) << "no profile warning, no frozen data: " << err;
    for (const char* file : {"builtin_flight.csv", "builtin_profile.toml", "cues.csv", "cues.svg"})
        EXPECT_TRUE(fs::is_regular_file(options.outDir / file)) << file;
    EXPECT_EQ(lines(options.outDir / "builtin_flight.csv").at(0).rfind("time_s,", 0), 0U);
    for (const char* words : {"lift-off", "ground contact", "cues.svg"})
        EXPECT_NE(out.find(words), std::string::npos) << out;

    options.help = true;
    run(false);
    EXPECT_NE(out.find("Usage: offline_cue"), std::string::npos);
}

TEST_F(OfflineCue, ReplaysTheGivenFilesAndQuietModeSaysOneLine) {
    options.quiet = true;
    run();
    ASSERT_EQ(exitCode, kSuccess) << err;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_NE(out.find("replayed 3 ticks"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(options.outDir / "builtin_flight.csv"));
    EXPECT_EQ(lines(options.outDir / "cues.csv").size(), 4U);

    write(telemetry, "time_s,roll_position\n0,1\n0.02,2\n0.04,3\n");
    run();
    EXPECT_EQ(exitCode, kSuccess);
    EXPECT_NE(err.find("20 ms per row"), std::string::npos) << err;
}

TEST_F(OfflineCue, BadInputEndsWithItsPlaceAndExitCodeOne) {
    write(telemetry, "time_s,roll_position\n0,1\n0.002,one\n");
    run();
    EXPECT_EQ(exitCode, kBadInput);
    EXPECT_NE(err.find(telemetry.string() + ":3:7: malformed number \"one\""), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(options.outDir / "cues.csv")) << "nothing is replayed from half a file";

    profile = directory / "nowhere.toml";
    run();
    EXPECT_EQ(exitCode, kBadInput);
    EXPECT_NE(err.find("nowhere.toml: cannot open"), std::string::npos) << err;
}

}  // namespace
}  // namespace tarvelmond::offline::test
