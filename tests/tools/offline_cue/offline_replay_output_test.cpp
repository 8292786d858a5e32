// What the user gets to see: the cue CSV, the summary and the SVG plot.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "cue_csv.h"
#include "cue_plot.h"
#include "dof_names.h"
#include "profile_file.h"
#include "profile_installation.h"
#include "summary.h"
#include "telemetry_csv.h"

namespace tarvelmond::offline::test {
namespace {

const char* const kRig = R"toml(
[air.filters]
lateral = "GAIN(EMAHP(VALUE;50);2)"
pitch = "EMALP(VALUE;10)"
roll_position = "VALUE"
[ground.filters]
lateral = "GAIN(VALUE;0.5)"
roll_position = "GAIN(VALUE;3)"
[limits.input]
lateral = [-5, 5]
pitch = [-20, 20]
[limits.rig]
lateral = [-1, 1]
)toml";

// Take-off at 1.0 s, touchdown at 2.0 s, with a lateral kick while in the air.
TelemetryTable shortFlight() {
    std::ostringstream csv;
    csv << "time_s,lateral_accel_g,pitch_speed,roll_position,on_ground\n";
    for (int r = 0; r < 1500; ++r) {
        const double t = r * 0.002;
        csv << t << ',' << (t > 1.2 && t < 1.4 ? 4.0 : 0.1 * std::sin(40 * t)) << ',' << 3.0 * std::sin(5 * t)
            << ',' << 10.0 * t << ',' << (t < 1.0 || t >= 2.0 ? 1 : 0) << '\n';
    }
    return parseTelemetryCsv(csv.str(), "short.csv");
}

struct ReplayOutputs {
    std::vector<std::vector<std::string>> csvRows;  // header first
    Summary summary;
    std::string svg;
    std::vector<CueArray> finals;
};

ReplayOutputs replayShortFlight() {
    const RigProfile profile = parseProfileFile(kRig, "rig.toml");
    const TelemetryTable table = shortFlight();
    auto engine = makeReplayEngine();
    installProfile(*engine, profile);
    std::ostringstream csv;
    CueCsvWriter writer(csv);
    SummaryCollector summary(profile);
    PlotRecorder plot(table.rowCount());
    ReplayOutputs run;
    replayTelemetry(*engine, table, [&](const TickView& tick) {
        writer.add(tick);
        summary.add(tick);
        plot.add(tick);
        run.finals.push_back(tick.engine.finalCues);
    });
    std::istringstream lines(csv.str());
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            fields.push_back(cell);
        run.csvRows.push_back(fields);
    }
    run.summary = summary.summary();
    std::ostringstream svg;
    writeCuePlot(svg, plot, "short.csv & <rig>");
    run.svg = svg.str();
    return run;
}

class Outputs : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { run_ = new ReplayOutputs(replayShortFlight()); }
    static void TearDownTestSuite() { delete run_; }
    static const ReplayOutputs& run() { return *run_; }

  private:
    static ReplayOutputs* run_;
};
ReplayOutputs* Outputs::run_ = nullptr;

std::size_t columnOf(const std::vector<std::string>& header, const std::string& name) {
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (header[i] == name) return i;
    }
    ADD_FAILURE() << "no column " << name;
    return 0;
}

TEST_F(Outputs, TheCueCsvHoldsEveryTickWithExactValues) {
    const auto& rows = run().csvRows;
    ASSERT_EQ(rows.size(), 1501U);
    const auto& header = rows[0];
    EXPECT_EQ(header.size(), 6U + 3U * kDofChannels);
    for (const auto& row : rows)
        ASSERT_EQ(row.size(), header.size());
    const std::size_t lateral = columnOf(header, "final_lateral");
    const std::size_t roll = columnOf(header, "final_roll_position");
    const std::size_t groundRoll = columnOf(header, "ground_roll_position");
    for (std::size_t tick = 0; tick < run().finals.size(); tick += 37) {
        EXPECT_EQ(std::stod(rows[tick + 1][lateral]), run().finals[tick][0]) << "tick " << tick;
        EXPECT_EQ(std::stod(rows[tick + 1][roll]), run().finals[tick][8]) << "tick " << tick;
        EXPECT_EQ(rows[tick + 1][0], std::to_string(tick));
    }
    EXPECT_EQ(rows[1200][columnOf(header, "on_ground")], "1");
    EXPECT_EQ(rows[700][columnOf(header, "on_ground")], "0");
    EXPECT_NE(std::stod(rows[1499][groundRoll]), 0.0);
}

TEST_F(Outputs, TheTransitionShowsInTheCsvWeights) {
    const auto& rows = run().csvRows;
    const std::size_t air = columnOf(rows[0], "air_weight");
    // Rows are ticks + 1 (header). Lift-off at tick 500, touchdown at tick 1000.
    EXPECT_EQ(std::stod(rows[500][air]), 0.0) << "settled on the ground before lift-off";
    EXPECT_NEAR(std::stod(rows[501][air]), 0.01, 1e-12) << "first tick in the air";
    EXPECT_EQ(std::stod(rows[600][air]), 1.0) << "settled in the air after 100 ticks";
    EXPECT_NEAR(std::stod(rows[1001][air]), 0.99, 1e-12) << "first tick on the ground again";
    EXPECT_EQ(std::stod(rows[1100][air]), 0.0);
}

TEST_F(Outputs, TheSummaryMatchesTheCuesAndListsTheTransitions) {
    const Summary& s = run().summary;
    ASSERT_EQ(s.ticks, 1500U);
    for (int dof : {0, 5, 8}) {
        double min = 1e300, max = -1e300, sum = 0.0, squares = 0.0;
        for (const CueArray& f : run().finals) {
            min = std::min(min, f[dof]);
            max = std::max(max, f[dof]);
            sum += f[dof];
            squares += f[dof] * f[dof];
        }
        const ChannelStats& stats = s.finalCues[dof];
        EXPECT_EQ(stats.min, min) << kDofNames[dof];
        EXPECT_EQ(stats.max, max) << kDofNames[dof];
        EXPECT_NEAR(stats.mean(s.ticks), sum / 1500.0, 1e-12) << kDofNames[dof];
        EXPECT_NEAR(stats.rms(s.ticks), std::sqrt(squares / 1500.0), 1e-12) << kDofNames[dof];
    }
    std::size_t outside = 0;
    for (const CueArray& f : run().finals)
        outside += std::abs(f[0]) > 1.0 ? 1 : 0;
    EXPECT_GT(outside, 0U) << "the lateral kick leaves the rig limits";
    EXPECT_EQ(s.finalCues[0].clipped, outside);

    ASSERT_EQ(s.transitions.size(), 3U);
    EXPECT_TRUE(s.transitions[0].toGround) << "a connected engine starts in the air";
    EXPECT_EQ(s.transitions[0].startS, 0.0);
    EXPECT_FALSE(s.transitions[1].toGround);
    EXPECT_NEAR(s.transitions[1].startS, 1.0, 1e-9);
    ASSERT_TRUE(s.transitions[1].settledS);
    EXPECT_NEAR(*s.transitions[1].settledS, 1.198, 1e-9);
    EXPECT_TRUE(s.transitions[2].toGround);
    EXPECT_NEAR(s.transitions[2].startS, 2.0, 1e-9);
    EXPECT_FALSE(s.fadeSettledS) << "3 s of replay: the 4 s start-up fade is still running";

    std::ostringstream text;
    printSummary(text, s);
    EXPECT_NE(text.str().find("lift-off"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("roll_position"), std::string::npos) << text.str();
}

TEST(Summary, ReportsTelemetryThatStandsStillLongEnoughToFreezeTheLiveOutput) {
    TelemetryTable table;
    table.channels = {Channel::roll_position};  // the watchdog looks at the leading 23 slots only
    for (int r = 0; r < 1000; ++r) {
        table.values.push_back(r < 100 || r >= 600 ? r : 5.0);
        table.onGround.push_back(0);
    }
    auto engine = makeReplayEngine();
    SummaryCollector summary(RigProfile{});
    replayTelemetry(*engine, table, [&](const TickView& tick) { summary.add(tick); });
    ASSERT_EQ(summary.summary().frozen.size(), 1U);
    // Still from tick 100 on; the count passes 250 on tick 351 and drops at the first moving tick, 600.
    EXPECT_NEAR(summary.summary().frozen[0].startS, 351 * 0.002, 1e-9);
    EXPECT_NEAR(summary.summary().frozen[0].endS, 599 * 0.002, 1e-9);
}

// Enough of XML to tell a well-formed document: balanced, properly nested elements, quoted
// attributes, escaped text.
::testing::AssertionResult wellFormed(const std::string& xml) {
    std::vector<std::string> open;
    std::size_t i = 0;
    int roots = 0;
    while (i < xml.size()) {
        if (xml[i] != '<') {
            if (xml[i] == '&') {
                const std::size_t semicolon = xml.find(';', i);
                const std::string entity =
                    xml.substr(i, semicolon == std::string::npos ? 1 : semicolon - i + 1);
                if (entity != "&amp;" && entity != "&lt;" && entity != "&gt;" && entity != "&quot;") {
                    return ::testing::AssertionFailure() << "bad entity at " << i;
                }
            }
            if (open.empty() && !std::isspace(static_cast<unsigned char>(xml[i]))) {
                return ::testing::AssertionFailure() << "text outside the root at " << i;
            }
            ++i;
            continue;
        }
        const std::size_t end = xml.find('>', i);
        if (end == std::string::npos) return ::testing::AssertionFailure() << "unclosed tag at " << i;
        const std::string tag = xml.substr(i + 1, end - i - 1);
        i = end + 1;
        if (tag.starts_with("?")) continue;
        if (tag.find('<') != std::string::npos) return ::testing::AssertionFailure() << "'<' inside " << tag;
        if (std::count(tag.begin(), tag.end(), '"') % 2 != 0)
            return ::testing::AssertionFailure() << "quotes in " << tag;
        if (tag.starts_with("/")) {
            if (open.empty() || open.back() != tag.substr(1))
                return ::testing::AssertionFailure() << "stray </" << tag;
            open.pop_back();
            continue;
        }
        const std::string name = tag.substr(0, tag.find_first_of(" \n/"));
        if (open.empty() && ++roots > 1) return ::testing::AssertionFailure() << "second root " << name;
        if (!tag.ends_with("/")) open.push_back(name);
    }
    if (!open.empty()) return ::testing::AssertionFailure() << "unclosed <" << open.back() << ">";
    if (roots != 1) return ::testing::AssertionFailure() << "no root element";
    return ::testing::AssertionSuccess();
}

std::size_t count(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

TEST(SvgChecker, CatchesWhatAViewerWouldReject) {
    EXPECT_TRUE(
        wellFormed("<?xml version=\"1.0\"?>\n<svg a=\"1\"><g><line/></g><text>a &amp; b</text></svg>\n"));
    EXPECT_FALSE(wellFormed("<svg><g></svg></g>"));
    EXPECT_FALSE(wellFormed("<svg><text>a & b</text></svg>"));
    EXPECT_FALSE(wellFormed("<svg><line x=\"1/></svg>"));
    EXPECT_FALSE(wellFormed("<svg></svg><svg></svg>"));
    EXPECT_FALSE(wellFormed("<svg>"));
}

TEST_F(Outputs, ThePlotIsWellFormedSvgWithSevenLabelledPanels) {
    const std::string& svg = run().svg;
    EXPECT_TRUE(wellFormed(svg));
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    EXPECT_NE(svg.find("short.csv &amp; &lt;rig&gt;"), std::string::npos) << "the title is escaped";
    EXPECT_EQ(count(svg, "<polyline"), 8U) << "six axes and two weights";
    for (int axis = 0; axis < 6; ++axis)
        EXPECT_NE(svg.find(">final " + std::to_string(axis) + " " + std::string(kDofNames[axis]) + "<"),
                  std::string::npos);
    EXPECT_NE(svg.find(">air weight<"), std::string::npos);
    EXPECT_NE(svg.find(">ground weight<"), std::string::npos);
    EXPECT_NE(svg.find("time (s)"), std::string::npos);
}

TEST_F(Outputs, ThePlottedPointsStayInsideThePlotArea) {
    const std::string& svg = run().svg;
    const std::size_t width = svg.find("width=\"");
    const double svgWidth = std::stod(svg.substr(width + 7));
    const double svgHeight = std::stod(svg.substr(svg.find("height=\"") + 8));
    std::size_t at = 0;
    std::size_t points = 0;
    while ((at = svg.find("points=\"", at)) != std::string::npos) {
        at += 8;
        std::istringstream list(svg.substr(at, svg.find('"', at) - at));
        double previousX = 0.0;
        for (std::string pair; list >> pair; ++points) {
            const double x = std::stod(pair.substr(0, pair.find(',')));
            const double y = std::stod(pair.substr(pair.find(',') + 1));
            ASSERT_GT(x, 0.0);
            ASSERT_LT(x, svgWidth);
            ASSERT_GT(y, 0.0);
            ASSERT_LT(y, svgHeight);
            ASSERT_GE(x, previousX) << "time runs left to right";
            previousX = x;
        }
    }
    EXPECT_GE(points, 8U * 1080U) << "one column per pixel at least, for every series";
}

}  // namespace
}  // namespace tarvelmond::offline::test
