// Reading and writing telemetry CSV files: what is accepted, and where errors are reported.
#include <gtest/gtest.h>

#include <sstream>

#include "offline_test_support.h"
#include "scenario.h"
#include "telemetry_csv.h"

namespace tarvelmond::offline::test {
namespace {

TelemetryTable parse(const std::string& text) {
    return parseTelemetryCsv(text, "flight.csv");
}

TEST(TelemetryCsv, TakesAnySubsetOfChannelsInAnyOrderWithTheGroundFlagAndTime) {
    const TelemetryTable table = parse(
        "roll_position, time_s ,on_ground,lateral_accel_g\r\n"
        "1.5,0,1,-2\r\n"
        "+2.5,0.002,0,3e-1\r\n");
    ASSERT_EQ(table.channels.size(), 2U);
    EXPECT_EQ(table.channels[0], Channel::roll_position);
    EXPECT_EQ(table.channels[1], Channel::lateral_accel_g);
    ASSERT_EQ(table.rowCount(), 2U);
    EXPECT_EQ(table.row(0)[0], 1.5);
    EXPECT_EQ(table.row(0)[1], -2.0);
    EXPECT_EQ(table.row(1)[0], 2.5);
    EXPECT_EQ(table.row(1)[1], 0.3);
    EXPECT_EQ(table.onGround, (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(table.timeS, (std::vector<double>{0.0, 0.002}));
}

TEST(TelemetryCsv, SkipsASpreadsheetByteOrderMarkAndBlankLines) {
    const TelemetryTable table = parse("\xEF\xBB\xBFspeed\n\n10\n  \n20\n\n");
    ASSERT_EQ(table.rowCount(), 2U);
    EXPECT_EQ(table.row(1)[0], 20.0);
    EXPECT_TRUE(table.timeS.empty());
    EXPECT_EQ(table.onGround, (std::vector<std::uint8_t>{0, 0})) << "without the column the aircraft flies";
}

TEST(TelemetryCsv, NamesLineAndColumnOfAnUnknownChannelAndSuggestsTheNearestName) {
    expectInputError([] { parse("time_s,lateral_acel_g\n0,1\n"); }, 1, 8,
                     "unknown column \"lateral_acel_g\"");
    expectInputError([] { parse("time_s,lateral_acel_g\n0,1\n"); }, 1, 8, "did you mean \"lateral_accel_g\"");
    expectInputError([] { parse("speed,Lateral Thing\n0,1\n"); }, 1, 7, "unknown column");
}

TEST(TelemetryCsv, NamesLineAndColumnOfAMalformedNumber) {
    const std::string text = "speed,rpm\n1,2\n3, 4.5.6\n";
    expectInputError([&] { parse(text); }, 3, 4, "malformed number \"4.5.6\" in column \"rpm\"");
    expectInputError([] { parse("speed\n1x\n"); }, 2, 1, "malformed number");
    expectInputError([] { parse("speed\nnan\n"); }, 2, 1, "malformed number \"nan\"");
    expectInputError([] { parse("speed\n1e999\n"); }, 2, 1, "malformed number");
    expectInputError([] { parse("speed,rpm\n1,\n"); }, 2, 3, "empty field in column \"rpm\"");
}

TEST(TelemetryCsv, RejectsRowsWhoseFieldCountDiffersFromTheHeader) {
    expectInputError([] { parse("speed,rpm\n1,2\n1,2,3\n"); }, 3, 5, "row has 3 fields but the header has 2");
    expectInputError([] { parse("speed,rpm,flaps\n1,2\n"); }, 2, 4, "missing \"flaps\"");
}

TEST(TelemetryCsv, RejectsDuplicateAndEmptyColumnNames) {
    expectInputError([] { parse("speed,rpm,speed\n1,2,3\n"); }, 1, 11,
                     "duplicate column \"speed\" (first at column 1)");
    expectInputError([] { parse("speed,,rpm\n1,2,3\n"); }, 1, 7, "empty column name");
}

TEST(TelemetryCsv, RejectsEmptyFilesAndFilesWithoutRows) {
    expectInputError([] { parse(""); }, 0, 0, "empty file");
    expectInputError([] { parse("\n  \n"); }, 0, 0, "empty file");
    expectInputError([] { parse("speed,rpm\n"); }, 1, 0, "no data rows");
}

TEST(TelemetryCsv, TheGroundFlagIsZeroOrOne) {
    expectInputError([] { parse("on_ground\n0\n2\n"); }, 3, 1, "on_ground must be 0");
    expectInputError([] { parse("on_ground\n0.5\n"); }, 2, 1, "on_ground must be 0");
}

TEST(TelemetryCsv, MessagesStartWithFileLineAndColumn) {
    try {
        parse("speed\n\nbad\n");
        FAIL() << "accepted";
    } catch (const InputError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("flight.csv:3:1: ", 0), 0U) << error.what();
    }
}

TEST(TelemetryCsv, AMissingFileIsReportedByName) {
    TemporaryDirectory directory;
    const auto path = directory.path() / "absent.csv";
    expectInputError([&] { readTelemetryCsv(path); }, 0, 0, "cannot open");
}

TEST(TelemetryCsv, WritingAndReadingBackKeepsEveryValueExactly) {
    const TelemetryTable flight = builtInFlight();
    std::ostringstream text;
    writeTelemetryCsv(text, flight);
    const TelemetryTable back = parseTelemetryCsv(text.str(), "written.csv");
    EXPECT_EQ(back.channels, flight.channels);
    EXPECT_EQ(back.onGround, flight.onGround);
    EXPECT_EQ(back.timeS, flight.timeS);
    ASSERT_EQ(back.values.size(), flight.values.size());
    for (std::size_t i = 0; i < flight.values.size(); ++i) {
        ASSERT_EQ(back.values[i], flight.values[i]) << "value " << i;
    }
}

}  // namespace
}  // namespace tarvelmond::offline::test
