#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "filter/filter_chain.h"

namespace tarvelmond {
namespace {

std::vector<FilterKind> kindsOf(const FilterChain& chain) {
    std::vector<FilterKind> kinds;
    for (const FilterSys& stage : chain.stages)
        kinds.push_back(stage.kind);
    return kinds;
}

// A rejected string yields a chain that is not valid and evaluates to 0.
void expectRejected(const std::string& text) {
    FilterChain chain = parseFilterString(text.c_str());
    EXPECT_FALSE(chain.valid) << text;
    EXPECT_EQ(evaluateFilterChain(chain, 1.0), 0.0) << text;
}

TEST(FilterParser, AcceptsChainsAndReadsNumbersWithTheirQuirks) {
    const struct {
        const char* text;
        std::vector<FilterKind> kinds;   // outermost first
        std::array<float, 4> arguments;  // of the outermost stage
    } cases[] = {
        {" \t VALUE\r\n", {VALUE}, {}},
        {"gain (VALUE; 2 )", {GAIN, VALUE}, {2}},
        {"GAIN(VALUE;2)xyz", {GAIN, VALUE}, {2}},  // text after the last ')' is ignored
        {"GAIN(VALUE;1,5)", {GAIN, VALUE}, {1.5f}},
        {"GAIN(VALUE;1,000)", {GAIN, VALUE}, {1}},
        {"GAIN(VALUE;1.2.3)", {GAIN, VALUE}, {1.2f}},  // the longest leading number
        {"GAIN(VALUE;+.5)", {GAIN, VALUE}, {0.5f}},
        {"GAIN(VALUE;0xfF)", {GAIN, VALUE}, {255}},
        {"GAIN(VALUE;-0x10)", {GAIN, VALUE}, {-16}},
        {"GAIN(VALUE;0xffffffff)", {GAIN, VALUE}, {4294967295.0f}},
        {"GAIN(VALUE;-0x8000000000000000)", {GAIN, VALUE}, {-9223372036854775808.0f}},
        {"EMALP(VALUE;1)", {EMALP, VALUE}, {1}},
        {"NOISE(VALUE;0.5;100;7)", {NOISE, VALUE}, {0.5f, 100, 7}},
        {"REMAP(VALUE;1;2;3;4)", {REMAP, VALUE}, {1, 2, 3, 4}},
        // The input range is checked as written; narrowed to float its two ends coincide.
        {"REMAP(VALUE;1;1.00000001;0;10)", {REMAP, VALUE}, {1, 1, 0, 10}},
        // The text after ABS's last ';' is "2)", not a number, so ABS takes none of GAIN's.
        {"ABS(GAIN(VALUE;2))", {ABS, GAIN, VALUE}, {}},
    };
    for (const auto& c : cases) {
        const FilterChain chain = parseFilterString(c.text);
        EXPECT_TRUE(chain.valid) << c.text;
        EXPECT_EQ(kindsOf(chain), c.kinds) << c.text;
        const FilterSys& head = chain.stages.front();
        EXPECT_EQ((std::array<float, 4>{head.p1, head.p2, head.p3, head.p4}), c.arguments) << c.text;
    }
}

TEST(FilterParser, RejectsMalformedStrings) {
    // clang-format off
    const char* const malformed[] = {
        "", "value", "VALUE(VALUE)", "GAIN(VALUE ;2)", "GAIN( VALUE;2)", "FOO(VALUE;1)", "GAIN VALUE;2",
        "GAIN(VALUE;2", ")GAIN(VALUE;2(", "GAIN(X;2)", "GAIN(;2)", "GAIN(VALUE;2;)", "GAIN(EMALP(VALUE;10))",
        "ABS(VALUE;1)", "GAIN(VALUE;1;2)", "NOISE(VALUE;1;2)", "CROP(VALUE;5)", "GAIN(VALUE)",
        "EMALP(VALUE;0.5)", "EMAHP(VALUE;0.999)", "REMAP(VALUE;1;1;0;10)", "REMAP(VALUE;1;1.0000000001;0;10)",
        "GAIN(VALUE;0X10)", "GAIN(VALUE;0x)", "GAIN(VALUE;0x1g)", "GAIN(VALUE;0x100000000)",
        "GAIN(VALUE;-0x8000000000000001)", "GAIN(VALUE;1e3)", "GAIN(VALUE;inf)", "GAIN(VALUE;--5)",
        "GAIN(VALUE;1 2)"};
    // clang-format on
    for (const char* text : malformed)
        expectRejected(text);
    expectRejected("GAIN(VALUE;" + std::string(400, '9') + ")");  // beyond a double
    EXPECT_FALSE(parseFilterString(nullptr).valid);
}

TEST(FilterParser, BoundsTheNumberOfStages) {
    const auto nestedGains = [](int operators) {
        std::string text;
        for (int i = 0; i < operators; ++i)
            text += "GAIN(";
        text += "VALUE";
        for (int i = 0; i < operators; ++i)
            text += ";1)";
        return text;
    };
    const FilterChain longest = parseFilterString(nestedGains(99).c_str());
    EXPECT_TRUE(longest.valid);
    EXPECT_EQ(kindsOf(longest).size(), 100u);
    expectRejected(nestedGains(100));
    // Long enough to take minutes if each of its stages were parsed.
    expectRejected(nestedGains(200000));
}

}  // namespace
}  // namespace tarvelmond
