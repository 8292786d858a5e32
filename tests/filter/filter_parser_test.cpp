#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filter/filter_sys.h"

namespace tarvelmond {
namespace {

std::vector<std::shared_ptr<FilterSys>> stagesOf(const std::shared_ptr<FilterSys>& head) {
    std::vector<std::shared_ptr<FilterSys>> stages;
    for (auto stage = head; stage; stage = stage->inner)
        stages.push_back(stage);
    return stages;
}

void expectRejected(const char* text) {
    SCOPED_TRACE(text == nullptr ? "(null)" : text);
    const auto head = parseFilterString(text);
    ASSERT_NE(head, nullptr);
    EXPECT_FALSE(head->valid.load());
    EXPECT_EQ(head->kind, VALUE);
    EXPECT_EQ(head->keyword, "");
    EXPECT_EQ(head->inner, nullptr);
    EXPECT_EQ(head->p1, 0.0f);
    EXPECT_EQ(head->p2, 0.0f);
    EXPECT_EQ(head->p3, 0.0f);
    EXPECT_EQ(head->p4, 0.0f);
}

// Parses a one-operator string and returns its operator stage, checking it wraps a bare VALUE.
std::shared_ptr<FilterSys> acceptedOperator(const char* text) {
    auto head = parseFilterString(text);
    EXPECT_TRUE(head->valid.load()) << text;
    const auto stages = stagesOf(head);
    EXPECT_EQ(stages.size(), 2u) << text;
    EXPECT_EQ(stages.back()->kind, VALUE) << text;
    return head;
}

// clang-format off
constexpr const char* kMalformed[] = {
    "", "   ", "value", "Value", "VALUE(VALUE)", "GAIN(VALUE ;2)", "GAIN( VALUE;2)", "GAIN(VALUE;1e3)",
    "GAIN(VALUE;0X10)", "EMALP(VALUE;0.5)", "EMAHP(VALUE;0.999)", "REMAP(VALUE;1;1;0;10)",
    "REMAP(VALUE;1;1.0000000001;0;10)", "ABS(VALUE;1)", "GAIN(VALUE;1;2)", "CROP(VALUE;5)", "GAIN(VALUE)",
    "NOISE(VALUE;1;2)", "GAIN(EMALP(VALUE;10))", "FOO(VALUE;1)", "GAIN VALUE;2", "GAIN(VALUE;2",
    ")GAIN(VALUE;2(", "GAIN(X;2)", "GAIN(;2)", "GAIN(VALUE;2;)"};
// clang-format on

TEST(FilterParser, RejectsMalformedStrings) {
    for (const char* text : kMalformed)
        expectRejected(text);
    expectRejected(nullptr);
}

std::string nestedGains(int operators) {
    std::string text;
    for (int i = 0; i < operators; ++i)
        text += "GAIN(";
    text += "VALUE";
    for (int i = 0; i < operators; ++i)
        text += ";1)";
    return text;
}

TEST(FilterParser, BoundsTheNumberOfStages) {
    const auto longest = parseFilterString(nestedGains(99).c_str());
    EXPECT_TRUE(longest->valid.load());
    EXPECT_EQ(stagesOf(longest).size(), 100u);
    expectRejected(nestedGains(100).c_str());
    // Deep enough to overflow the stack if it were built and released stage by stage.
    expectRejected(nestedGains(200000).c_str());
}

TEST(FilterParser, AcceptsValueAloneEvenWithSurroundingBlanks) {
    for (const char* text : {"VALUE", " \t VALUE\r\n"}) {
        const auto head = parseFilterString(text);
        EXPECT_TRUE(head->valid.load()) << text;
        EXPECT_EQ(head->kind, VALUE);
        EXPECT_EQ(head->keyword, "VALUE");
        EXPECT_EQ(head->inner, nullptr);
    }
}

TEST(FilterParser, ReadsNumbersWithTheirQuirks) {
    const struct {
        const char* text;
        float factor;
    } cases[] = {
        {"gain(VALUE;2)", 2.0f},     {"GaIn(VALUE;2)", 2.0f},       {"GAIN(VALUE; 2 )", 2.0f},
        {"GAIN (VALUE;2)", 2.0f},    {"GAIN(VALUE;2)xyz", 2.0f},    {"GAIN(VALUE;1,5)", 1.5f},
        {"GAIN(VALUE;1,000)", 1.0f}, {"GAIN(VALUE;0x10)", 16.0f},   {"GAIN(VALUE;-0x10)", -16.0f},
        {"GAIN(VALUE;0.1)", 0.1f},   {"MUL(VALUE;-2.5)", -2.5f},    {"EMALP(VALUE;1)", 1.0f},
        {"EMAHP(VALUE;1)", 1.0f},    {"ROLLOVER(VALUE;-3)", -3.0f},
    };
    for (const auto& c : cases) {
        const auto head = acceptedOperator(c.text);
        EXPECT_EQ(head->p1, c.factor) << c.text;
        EXPECT_EQ(head->p2, 0.0f) << c.text;
    }
}

TEST(FilterParser, StoresArgumentsInWrittenOrderWithTheirKind) {
    const struct {
        const char* text;
        FilterKind kind;
        float p1, p2, p3, p4;
    } cases[] = {
        {"LOGISTIC(VALUE;10;0.5)", LOGISTIC, 10, 0.5f, 0, 0},
        {"CROP(VALUE;-1;2)", CROP, -1, 2, 0, 0},
        {"REMAP(VALUE;1;2;3;4)", REMAP, 1, 2, 3, 4},
        {"NOISE(VALUE;0.5;100;7)", NOISE, 0.5f, 100, 7, 0},
        {"BITSCALE(VALUE;255;1)", BITSCALE, 255, 1, 0, 0},
        {"BITSCALESIGNED(VALUE;2;3)", BITSCALESIGNED, 2, 3, 0, 0},
        {"SINUS(VALUE;2;0.5)", SINUS, 2, 0.5f, 0, 0},
        {"ABS(VALUE)", ABS, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const auto head = acceptedOperator(c.text);
        EXPECT_EQ(head->kind, c.kind) << c.text;
        EXPECT_EQ(head->keyword, filterKeyword(c.kind)) << c.text;
        EXPECT_EQ(head->p1, c.p1) << c.text;
        EXPECT_EQ(head->p2, c.p2) << c.text;
        EXPECT_EQ(head->p3, c.p3) << c.text;
        EXPECT_EQ(head->p4, c.p4) << c.text;
        EXPECT_EQ(head->noise != nullptr, c.kind == NOISE) << c.text;
    }
    // The input range is checked as written; narrowed to float its two ends coincide.
    const auto remap = acceptedOperator("REMAP(VALUE;1;1.00000001;0;10)");
    EXPECT_EQ(remap->p1, remap->p2);
}

TEST(FilterParser, BuildsNestedChainsOutermostFirstWithBackLinks) {
    const auto head = parseFilterString("GAIN(EMALP(VALUE;10);2)");
    ASSERT_TRUE(head->valid.load());
    const auto stages = stagesOf(head);
    ASSERT_EQ(stages.size(), 3u);
    EXPECT_EQ(stages[0]->kind, GAIN);
    EXPECT_EQ(stages[0]->p1, 2.0f);
    EXPECT_EQ(stages[1]->kind, EMALP);
    EXPECT_EQ(stages[1]->p1, 10.0f);
    EXPECT_EQ(stages[2]->kind, VALUE);
    EXPECT_TRUE(stages[0]->outer.expired());
    EXPECT_EQ(stages[1]->outer.lock(), stages[0]);
    EXPECT_EQ(stages[2]->outer.lock(), stages[1]);
    EXPECT_EQ(innermostStage(*head), stages[2]);

    // The text after ABS's last ';' is "2)", not a number, so ABS takes none of GAIN's.
    std::vector<FilterKind> kinds;
    for (const auto& stage : stagesOf(parseFilterString("ABS(CROP(GAIN(ABS(VALUE);3);-1;1))"))) {
        kinds.push_back(stage->kind);
    }
    EXPECT_EQ(kinds, (std::vector<FilterKind>{ABS, CROP, GAIN, ABS, VALUE}));
}

TEST(FilterParser, AppendingStartsOrExtendsAChain) {
    const auto head = appendFilterStage(nullptr, GAIN, 3.0f, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(appendFilterStage(head, NOISE, 1.0f, 10.0f, 5.0f, 0.0f), head);
    EXPECT_EQ(appendFilterStage(head, VALUE, 0.0f, 0.0f, 0.0f, 0.0f), head);
    const auto stages = stagesOf(head);
    ASSERT_EQ(stages.size(), 3u);
    EXPECT_EQ(stages[1]->kind, NOISE);
    ASSERT_NE(stages[1]->noise, nullptr);
    EXPECT_EQ(stages[1]->noise->amplitude, 1.0f);
    EXPECT_EQ(stages[1]->noise->period, 10.0f);
    EXPECT_EQ(stages[2]->outer.lock(), stages[1]);
    EXPECT_FALSE(head->valid.load());  // only a finished parse marks a chain valid
}

TEST(PopLastNumber, TakesTheLastNumberOffTheEnd) {
    std::string text = "VALUE ;1; 2 ";
    double value = 0.0;
    ASSERT_TRUE(popLastNumber(text, value));
    EXPECT_EQ(value, 2.0);
    EXPECT_EQ(text, "VALUE ;1");
    ASSERT_TRUE(popLastNumber(text, value));
    EXPECT_EQ(value, 1.0);
    EXPECT_EQ(text, "VALUE ");
    EXPECT_FALSE(popLastNumber(text, value));
    EXPECT_EQ(text, "VALUE ");
}

TEST(PopLastNumber, ReadsDecimalAndHexadecimalTokens) {
    const struct {
        std::string token;
        double value;
    } cases[] = {
        {"+5", 5},
        {"-.5", -0.5},
        {"1.2.3", 1.2},
        {"5-3", 5},
        {"1,000", 1},
        {",25", 0.25},
        {"\t7 \n", 7},
        {"0xfF", 255},
        {"0xffffffff", 4294967295.0},
        {"-0x10", -16},
        {"-0x8000000000000000", -9223372036854775808.0},
        {std::string(39, '9'), 1e39},  // still a double; only the stage narrows it to float
    };
    for (const auto& c : cases) {
        std::string text = "VALUE;" + c.token;
        double value = 0.0;
        ASSERT_TRUE(popLastNumber(text, value)) << c.token;
        EXPECT_DOUBLE_EQ(value, c.value) << c.token;
        EXPECT_EQ(text, "VALUE") << c.token;
    }
}

TEST(PopLastNumber, FindsNoNumberAndLeavesTheTextAlone) {
    // clang-format off
    std::vector<std::string> tokens = {"", " ", "--5", "+-5", ".", "-", "1 2", "1e3", "inf", "nan", "2)",
                                       "0X10", "0x", "-0x", "0xg", "0x1g", "- 0x10", "0x100000000",
                                       "-0x8000000000000001"};
    // clang-format on
    tokens.push_back(std::string(400, '9'));               // overflows
    tokens.push_back("0." + std::string(400, '0') + "1");  // underflows to zero
    for (const auto& token : tokens) {
        std::string text = "VALUE;" + token;
        double value = 42.0;
        EXPECT_FALSE(popLastNumber(text, value)) << token;
        EXPECT_EQ(text, "VALUE;" + token);
        EXPECT_EQ(value, 42.0);
    }
    for (std::string text : {"", "VALUE", "VALUE;"}) {
        double value = 0.0;
        EXPECT_FALSE(popLastNumber(text, value)) << text;
    }
}

}  // namespace
}  // namespace tarvelmond
