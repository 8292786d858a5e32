// The replay drives the real pipeline: it must equal an engine driven tick by tick, and what the user
// gets to see (the cue CSV, the summary, the SVG plot) must hold what the engine did.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "builtin_profile.h"
#include "cue_csv.h"
#include "cue_plot.h"
#include "dof_names.h"
#include "flight_plan.h"
#include "profile_file.h"
#include "profile_installation.h"
#include "replay.h"
#include "scenario.h"
#include "summary.h"
#include "support/engine_fixture.h"

namespace tarvelmond::offline::test {
namespace {

constexpr double kG = 9.80665;
constexpr double kRigLimit = 0.25;  // on the lateral channel, to be exceeded

// Every input moving, 3 s in the air but from 1 s to 2 s.
TelemetryTable movingTelemetry() {
    TelemetryTable table;
    table.channels = {Channel::lateral_accel_g, Channel::longitu_accel_g, Channel::vertica_accel_g,
                      Channel::yaw_speed,       Channel::roll_speed,      Channel::pitch_speed,
                      Channel::roll_position,   Channel::pitch_position,  Channel::speed};
    for (std::size_t r = 0; r < 1500; ++r) {
        for (std::size_t c = 0; c < table.channels.size(); ++c)
            table.values.push_back(std::sin(r * kTickSeconds * (1.0 + c) * 3.0) * (5.0 + c) +
                                   (c == 2 ? kG : 0));
        table.onGround.push_back(r >= 500 && r < 1000 ? 1 : 0);
    }
    return table;
}

// The built-in profile with a rig limit on the lateral channel.
RigProfile limitedProfile() {
    RigProfile profile = parseProfileFile(builtInProfileText(), "builtin");
    profile.rigLimits[0] = Limit{-kRigLimit, kRigLimit};
    return profile;
}

// One replay of the moving telemetry and all its outputs, with what an engine driven directly beside
// it did in every tick: what each cue CSV row must say, and its final cues.
struct ReplayRun {
    std::vector<std::vector<double>> expectedRows;
    std::vector<CueArray> finals;
    std::string csv;
    Summary summary;
    std::string svg;
};

ReplayRun replayBesideADirectEngine() {
    const TelemetryTable table = movingTelemetry();
    const RigProfile profile = limitedProfile();
    ::tarvelmond::test::EngineUnderTest direct;
    installProfile(*direct, profile);
    auto engine = makeReplayEngine();
    installProfile(*engine, profile);

    ReplayRun run;
    std::ostringstream csv;
    CueCsvWriter writer(csv);
    SummaryCollector summary(profile);
    PlotRecorder plot(table.rowCount());
    replayTelemetry(*engine, table, [&](const TickView& tick) {
        const auto row = table.row(tick.index);
        for (std::size_t c = 0; c < table.channels.size(); ++c)
            direct.setChannel(table.channels[c], row[c]);
        direct.setGround(table.onGround[tick.index] != 0);
        direct.tick();
        const MotionEngine& e = *direct;
        std::vector<double> expected = {static_cast<double>(tick.index), tick.timeS,
                                        tick.onGround ? 1.0 : 0.0,       e.cues.airWeight.load(),
                                        e.cues.groundWeight.load(),      e.fade.progress.load()};
        for (const CueArray* stage : {&e.cues.finalCues, &e.cues.airStage, &e.cues.groundStage})
            expected.insert(expected.end(), stage->begin(), stage->end());
        run.expectedRows.push_back(std::move(expected));
        run.finals.push_back(e.cues.finalCues);
        writer.add(tick);
        summary.add(tick);
        plot.add(tick);
    });
    run.csv = csv.str();
    run.summary = summary.summary();
    std::ostringstream svg;
    writeCuePlot(svg, plot, "short.csv & <rig>");
    run.svg = svg.str();
    return run;
}

// The replay is long enough that the tests below share one.
class Replay : public ::testing::Test {
  protected:
    static const ReplayRun& run() {
        static const ReplayRun shared = replayBesideADirectEngine();
        return shared;
    }
};

TEST_F(Replay, TheCueCsvHoldsEveryTickOfAnEngineDrivenDirectlyWithTheSameProfile) {
    std::istringstream lines(run().csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("tick,time_s,on_ground,air_weight,ground_weight,output_fade,final_lateral,", 0), 0U);
    EXPECT_TRUE(line.ends_with(",ground_" + std::string(kDofNames[kDofChannels - 1]))) << line;
    std::size_t rows = 0;
    for (; std::getline(lines, line); ++rows) {
        std::vector<double> values;
        for (std::istringstream cells(line); std::getline(cells, line, ',');)
            values.push_back(std::stod(line));
        ASSERT_EQ(values, run().expectedRows.at(rows)) << "tick " << rows;  // exact: no digits lost
    }
    EXPECT_EQ(rows, run().finals.size());
}

TEST_F(Replay, TheSummaryMatchesTheCuesAndListsTheTransitions) {
    const Summary& s = run().summary;
    const std::size_t ticks = run().finals.size();
    ASSERT_EQ(s.ticks, ticks);
    double min = 1e300, max = -1e300, sum = 0.0;
    std::size_t outside = 0;
    for (const CueArray& f : run().finals) {
        min = std::min(min, f[0]);
        max = std::max(max, f[0]);
        sum += f[0];
        const auto x = static_cast<float>(f[0]);  // the output frame compares in single precision
        outside += x < static_cast<float>(-kRigLimit) || x > static_cast<float>(kRigLimit) ? 1 : 0;
    }
    const ChannelStats& lateral = s.finalCues[0];
    EXPECT_EQ(lateral.min, min);
    EXPECT_EQ(lateral.max, max);
    EXPECT_NEAR(lateral.mean(s.ticks), sum / ticks, 1e-12);
    EXPECT_GT(outside, 0U);
    EXPECT_EQ(lateral.clipped, outside);
    EXPECT_EQ(s.finalCues[1].clipped, 0U) << "no rig limit set";

    // Each cross-fade takes 100 ticks, the first of them at the change.
    ASSERT_EQ(s.transitions.size(), 2U);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(s.transitions[i].toGround, i == 0);
        EXPECT_NEAR(s.transitions[i].startS, 1.0 + i, 1e-9);
        ASSERT_TRUE(s.transitions[i].settledS);
        EXPECT_NEAR(*s.transitions[i].settledS, 1.0 + i + 99 * kTickSeconds, 1e-9);
    }
    EXPECT_FALSE(s.fadeSettledS) << "3 s of replay: the 4 s start-up fade is still running";
    EXPECT_TRUE(s.frozen.empty());
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

// Enough of XML to tell a well-formed document: one root and properly nested elements.
::testing::AssertionResult wellFormed(const std::string& xml) {
    std::vector<std::string> open;
    int roots = 0;
    for (std::size_t i = xml.find('<'), end; i != std::string::npos; i = xml.find('<', end)) {
        end = xml.find('>', i);
        if (end == std::string::npos) return ::testing::AssertionFailure() << "unclosed tag at " << i;
        const std::string tag = xml.substr(i + 1, end - i - 1);
        if (tag.starts_with("?") || tag.ends_with("/")) continue;
        if (!tag.starts_with("/")) {
            if (open.empty() && ++roots > 1) return ::testing::AssertionFailure() << "second root";
            open.push_back(tag.substr(0, tag.find_first_of(" \n")));
        } else if (open.empty() || open.back() != tag.substr(1)) {
            return ::testing::AssertionFailure() << "stray <" << tag << ">";
        } else {
            open.pop_back();
        }
    }
    if (!open.empty() || roots != 1) return ::testing::AssertionFailure() << "unclosed or no root";
    return ::testing::AssertionSuccess();
}

TEST_F(Replay, ThePlotIsWellFormedSvgWithLabelledPanelsAndPointsInsideThePlotArea) {
    for (const char* broken : {"<svg><g></svg></g>", "<svg></svg><svg></svg>", "<svg>", "<svg><g</svg>"})
        EXPECT_FALSE(wellFormed(broken)) << broken;  // the checker can fail
    const std::string& svg = run().svg;
    EXPECT_TRUE(wellFormed(svg));
    EXPECT_NE(svg.find("short.csv &amp; &lt;rig&gt;"), std::string::npos) << "the title is escaped";
    EXPECT_EQ(svg.find("& "), std::string::npos);
    for (int axis = 0; axis < 6; ++axis)
        EXPECT_NE(svg.find(">final " + std::to_string(axis) + " " + std::string(kDofNames[axis]) + "<"),
                  std::string::npos);
    for (const char* label : {">air weight<", ">ground weight<", "time (s)"})
        EXPECT_NE(svg.find(label), std::string::npos) << label;

    const double width = std::stod(svg.substr(svg.find("width=\"") + 7));
    const double height = std::stod(svg.substr(svg.find("height=\"") + 8));
    std::size_t series = 0, points = 0;
    for (std::size_t at = 0; (at = svg.find("points=\"", at)) != std::string::npos; ++series) {
        at += 8;
        std::istringstream list(svg.substr(at, svg.find('"', at) - at));
        double previousX = 0.0;
        for (std::string pair; list >> pair; ++points) {
            const double x = std::stod(pair.substr(0, pair.find(',')));
            const double y = std::stod(pair.substr(pair.find(',') + 1));
            ASSERT_TRUE(x > 0.0 && x < width && y > 0.0 && y < height) << pair;
            ASSERT_GE(x, previousX) << "time runs left to right";
            previousX = x;
        }
    }
    EXPECT_EQ(series, 8U) << "six axes and two weights";
    EXPECT_GE(points, 8U * 1080U) << "one column per pixel at least, for every series";
}

// The built-in flight must look like telemetry a flight-simulator reader delivers, or tuning filters on
// it teaches the wrong things.
TEST(BuiltInFlight, IsTheSameEveryTimeAndFliesOnceWithAFirmTouchdown) {
    const TelemetryTable flight = builtInFlight();
    EXPECT_TRUE(builtInFlight().values == flight.values);
    ASSERT_EQ(flight.rowCount(), std::llround(kFlightSeconds / kTickSeconds));
    std::vector<double> changes;
    for (std::size_t r = 1; r < flight.rowCount(); ++r)
        if (flight.onGround[r] != flight.onGround[r - 1]) changes.push_back(flight.timeS[r]);
    EXPECT_EQ(flight.onGround.front(), 1);
    EXPECT_EQ(changes, (std::vector<double>{kLiftOffS, kTouchdownS}));
    const auto vertical = std::find(flight.channels.begin(), flight.channels.end(), Channel::vertica_accel_g);
    ASSERT_NE(vertical, flight.channels.end());
    double bump = 0.0;
    for (double t = kTouchdownS; t < kTouchdownS + 0.3; t += kTickSeconds)
        bump = std::max(bump, flight.row(std::llround(t / kTickSeconds))[vertical - flight.channels.begin()]);
    EXPECT_GT(bump, kG + 3.0) << "the touchdown bump";
}

}  // namespace
}  // namespace tarvelmond::offline::test
