// The tool as a user runs it: command line, exit codes, files written, messages.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "command_line.h"
#include "offline_cue_app.h"
#include "offline_test_support.h"

namespace tarvelmond::offline::test {
namespace {

namespace fs = std::filesystem;

Options parseLine(std::vector<std::string_view> arguments) {
    return parseCommandLine(arguments);
}

TEST(CommandLine, ReadsEveryOptionInBothSpellings) {
    const Options options =
        parseLine({"--telemetry", "a.csv", "--profile=b.toml", "--out", "dir", "--quiet"});
    EXPECT_EQ(options.telemetry, fs::path("a.csv"));
    EXPECT_EQ(options.profile, fs::path("b.toml"));
    EXPECT_EQ(options.outDir, fs::path("dir"));
    EXPECT_TRUE(options.quiet);
    const Options defaults = parseLine({});
    EXPECT_FALSE(defaults.telemetry);
    EXPECT_FALSE(defaults.profile);
    EXPECT_EQ(defaults.outDir, fs::path("out/offline"));
    EXPECT_FALSE(defaults.quiet);
    EXPECT_TRUE(parseLine({"--help"}).help);
}

TEST(CommandLine, RejectsWhatItCannotUse) {
    EXPECT_THROW(parseLine({"--telemetry"}), UsageError);
    EXPECT_THROW(parseLine({"--out="}), UsageError);
    EXPECT_THROW(parseLine({"--quiet=yes"}), UsageError);
    EXPECT_THROW(parseLine({"--verbose"}), UsageError);
    EXPECT_THROW(parseLine({"flight.csv"}), UsageError);
}

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

ToolRun runTool(const Options& options) {
    std::ostringstream out, err;
    const int code = runOfflineCue(options, out, err);
    return {code, out.str(), err.str()};
}

void write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string firstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(OfflineCue, WithoutArgumentsReplaysTheBuiltInFlightThroughItsOwnFiles) {
    TemporaryDirectory directory;
    Options options;
    options.outDir = directory.path() / "out";
    const ToolRun run = runTool(options);
    ASSERT_EQ(run.exitCode, kSuccess) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    for (const char* file : {"builtin_flight.csv", "builtin_profile.toml", "cues.csv", "cues.svg"})
        EXPECT_TRUE(fs::is_regular_file(options.outDir / file)) << file;
    EXPECT_EQ(firstLine(options.outDir / "builtin_flight.csv").rfind("time_s,", 0), 0U);
    EXPECT_NE(run.out.find("lift-off"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("ground contact"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("cues.svg"), std::string::npos);
}

class OfflineCueInputs : public ::testing::Test {
  protected:
    void SetUp() override {
        options.outDir = directory.path() / "out";
        options.telemetry = directory.path() / "flight.csv";
        options.profile = directory.path() / "rig.toml";
        write(*options.telemetry, "time_s,roll_position,on_ground\n0,1,1\n0.002,2,1\n0.004,3,0\n");
        write(*options.profile, "[air.filters]\nroll_position = \"VALUE\"\n");
    }

    TemporaryDirectory directory;
    Options options;
};

TEST_F(OfflineCueInputs, ReplaysTheGivenFilesAndQuietModeSaysOneLine) {
    options.quiet = true;
    const ToolRun run = runTool(options);
    ASSERT_EQ(run.exitCode, kSuccess) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_NE(run.out.find("replayed 3 ticks"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(options.outDir / "builtin_flight.csv"));
    std::ifstream cues(options.outDir / "cues.csv");
    std::string line;
    int lines = 0;
    while (std::getline(cues, line))
        ++lines;
    EXPECT_EQ(lines, 4);
}

TEST_F(OfflineCueInputs, ABadTelemetryFileEndsWithItsPlaceAndExitCodeOne) {
    write(*options.telemetry, "time_s,roll_position\n0,1\n0.002,one\n");
    const ToolRun run = runTool(options);
    EXPECT_EQ(run.exitCode, kBadInput);
    EXPECT_NE(run.err.find(options.telemetry->string() + ":3:7: malformed number \"one\""), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(options.outDir / "cues.csv")) << "nothing is replayed from half a file";
}

TEST_F(OfflineCueInputs, AnInvalidFilterEndsWithTheDofAndExitCodeOne) {
    write(*options.profile,
          "[ground.filters]\nvertical = \"EMALP(VALUE;0)\"\n[limits.input]\nvertical = [-1, 1]\n");
    const ToolRun run = runTool(options);
    EXPECT_EQ(run.exitCode, kBadInput);
    EXPECT_NE(run.err.find(options.profile->string() +
                           ":2:12: invalid filter string for DOF 2 \"vertical\" of the ground"),
              std::string::npos)
        << run.err;
}

TEST_F(OfflineCueInputs, AMissingFileEndsWithExitCodeOne) {
    options.profile = directory.path() / "nowhere.toml";
    const ToolRun run = runTool(options);
    EXPECT_EQ(run.exitCode, kBadInput);
    EXPECT_NE(run.err.find("nowhere.toml"), std::string::npos) << run.err;
}

TEST_F(OfflineCueInputs, WarnsWhenRowsWereNotRecordedEveryTwoMilliseconds) {
    write(*options.telemetry, "time_s,roll_position\n0,1\n0.02,2\n0.04,3\n");
    const ToolRun run = runTool(options);
    EXPECT_EQ(run.exitCode, kSuccess);
    EXPECT_NE(run.err.find("20 ms per row"), std::string::npos) << run.err;
}

TEST(OfflineCue, HelpPrintsUsageAndSucceeds) {
    Options options;
    options.help = true;
    const ToolRun run = runTool(options);
    EXPECT_EQ(run.exitCode, kSuccess);
    EXPECT_NE(run.out.find("Usage: offline_cue"), std::string::npos);
}

}  // namespace
}  // namespace tarvelmond::offline::test
