#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "filter/filter_sys.h"

namespace tarvelmond {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double run(const std::shared_ptr<FilterSys>& chain, double x) {
    return evaluateFilterChain(*chain, x, 1, 1, 1);
}

// Each pair is an input and the output expected for it, fed to one chain in order.
void expectOutputs(const char* text, const std::vector<std::pair<double, double>>& samples,
                   double tolerance = 0) {
    const auto chain = parseFilterString(text);
    ASSERT_TRUE(chain->valid.load()) << text;
    for (const auto& [in, out] : samples)
        EXPECT_NEAR(run(chain, in), out, tolerance) << text << " at " << in;
}

TEST(FilterEvaluation, InvalidChainYieldsZeroAndKeepsItsState) {
    const auto rejected = parseFilterString("GAIN(VALUE;2");
    for (double x : {1.0, -5.0, kNaN})
        EXPECT_EQ(run(rejected, x), 0.0);

    const auto chain = parseFilterString("EMALP(VALUE;10)");
    EXPECT_NEAR(run(chain, 1.0), 0.1, 1e-7);
    chain->valid.store(false);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(run(chain, 1.0), 0.0);
    chain->valid.store(true);
    EXPECT_NEAR(run(chain, 1.0), 0.19, 1e-7);
}

TEST(FilterEvaluation, AppliesScalesToValueAndFilterLengths) {
    const auto value = parseFilterString("VALUE");
    EXPECT_EQ(evaluateFilterChain(*value, 3.0, 2.5, 7, 7), 7.5);
    // Lengths 10 * 0.5 = 5 and 10 * 2 = 20; a scaled length below 1 counts as 1 (pass-through).
    EXPECT_NEAR(evaluateFilterChain(*parseFilterString("EMALP(VALUE;10)"), 1, 1, 0.5, 1), 0.2, 1e-7);
    EXPECT_NEAR(evaluateFilterChain(*parseFilterString("EMALP(VALUE;10)"), 1, 1, 0.05, 1), 1.0, 1e-7);
    EXPECT_NEAR(evaluateFilterChain(*parseFilterString("EMAHP(VALUE;10)"), 1, 1, 1, 2), 0.95, 1e-7);
    // The value scale enters at VALUE, before the stages around it: 3, then 0.3, then 0.6.
    EXPECT_NEAR(evaluateFilterChain(*parseFilterString("GAIN(EMALP(VALUE;10);2)"), 1, 3, 1, 1), 0.6, 1e-7);
}

TEST(FilterEvaluation, AppliesOperatorsInnermostFirst) {
    expectOutputs("GAIN(CROP(VALUE;-1;1);10)", {{5, 10}});
    expectOutputs("CROP(GAIN(VALUE;10);-1;1)", {{5, 1}});
    expectOutputs("ABS(GAIN(VALUE;-3))", {{2, 6}});
}

TEST(FilterEvaluation, MovingAveragesFollowTheirRecurrence) {
    // Low-pass from rest: 1 - 0.9^n; high-pass: 0.9^n. Dropping the input to 0 then leaves the high-pass
    // at minus the decayed low-pass state, -(0.271 * 0.9).
    expectOutputs("EMALP(VALUE;10)", {{1, 0.1}, {1, 0.19}, {1, 0.271}, {1, 0.3439}}, 1e-6);
    expectOutputs("EMAHP(VALUE;10)", {{1, 0.9}, {1, 0.81}, {1, 0.729}, {0, -0.2439}}, 1e-6);
    // Length 1 passes the input through, but through the single-precision state.
    const double out = run(parseFilterString("EMALP(VALUE;1)"), 0.1);
    EXPECT_EQ(out, static_cast<double>(0.1f));
    EXPECT_NE(out, 0.1);
}

TEST(FilterEvaluation, MovingAveragesRefuseNonFiniteSamples) {
    // 1e300 is finite but beyond the float state; it must be refused like NaN and infinity.
    const auto lowPass = parseFilterString("EMALP(VALUE;10)");
    const auto highPass = parseFilterString("EMAHP(VALUE;10)");
    EXPECT_NEAR(run(lowPass, 1), 0.1, 1e-7);
    EXPECT_NEAR(run(highPass, 1), 0.9, 1e-7);
    for (double bad : {kNaN, kInf, -kInf, 1e300}) {
        EXPECT_NEAR(run(lowPass, bad), 0.1, 1e-7) << bad;
        EXPECT_EQ(run(highPass, bad), 0.0) << bad;
    }
    EXPECT_NEAR(run(lowPass, 1), 0.19, 1e-7);
    EXPECT_NEAR(run(highPass, 1), 0.81, 1e-7);
    // An infinity produced inside the chain is refused the same way.
    expectOutputs("EMALP(GAIN(VALUE;100000000000000000000000000000000000000);10)", {{1e300, 0}, {0, 0}});
}

TEST(FilterEvaluation, ResultIsAlwaysFinite) {
    expectOutputs("VALUE", {{kNaN, 0}, {kInf, 0}, {-kInf, 0}});
    expectOutputs("GAIN(VALUE;2)", {{1e308, 0}, {-1e308, 0}, {1e307, 2e307}});
    expectOutputs("LOGISTIC(VALUE;10;1)", {{kNaN, 0}});
}

TEST(FilterEvaluation, StatelessOperators) {
    expectOutputs("MUL(VALUE;-2)", {{3, -6}});
    expectOutputs("ABS(VALUE)", {{-3, 3}, {2, 2}});
    expectOutputs("CROP(VALUE;-1;2)", {{-5, -1}, {5, 2}, {0.5, 0.5}});
    expectOutputs("CROP(VALUE;5;-5)", {{-100, 5}, {0, 5}, {100, 5}});
    expectOutputs("REMAP(VALUE;0;10;100;200)", {{5, 150}, {-10, 0}, {20, 300}});
    expectOutputs("REMAP(VALUE;1;1.00000001;0;10)", {{7, 7}, {-3, -3}});
    expectOutputs("BITSCALE(VALUE;2;5)", {{1, 2.5}, {4, 5}, {-1, 0}, {2, 5}});
    expectOutputs("BITSCALE(VALUE;0;255)", {{0, 0}, {5, 0}, {-5, 0}});
    expectOutputs("BITSCALESIGNED(VALUE;1;100)", {{-2, -100}, {0.5, 50}, {2, 100}});
    expectOutputs("BITSCALESIGNED(VALUE;0;100)", {{3, 0}});
}

TEST(FilterEvaluation, LogisticIsAScaledTanh) {
    for (const auto& [limit, slope] : {std::pair{10.0, 1.0}, {-4.0, 2.0}, {0.5, 3.0}}) {
        const auto chain = appendFilterStage(nullptr, LOGISTIC, limit, slope, 0, 0);
        appendFilterStage(chain, VALUE, 0, 0, 0, 0);
        chain->valid.store(true);
        for (double x : {-30.0, -5.0, -1.0, 0.0, 0.5, 3.0, 12.0, 50.0}) {
            EXPECT_NEAR(run(chain, x), limit * std::tanh(slope * x / limit), 1e-9) << limit << " " << x;
        }
        const double h = 1e-6;
        EXPECT_NEAR((run(chain, h) - run(chain, -h)) / (2 * h), slope, 1e-6);
        EXPECT_NEAR(run(chain, 1e12), std::abs(limit), 1e-9);
        EXPECT_NEAR(run(chain, -1e12), -std::abs(limit), 1e-9);
    }
    // A zero limit is taken as 1e-9 and still saturates instead of dividing by zero.
    expectOutputs("LOGISTIC(VALUE;0;1)", {{5, 1e-9}, {-5, -1e-9}, {0, 0}}, 1e-15);
}

}  // namespace
}  // namespace tarvelmond
