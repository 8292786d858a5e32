#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "filter/filter_chain.h"

namespace tarvelmond {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kStep = 2 * std::numbers::pi * 0.002;  // phase step of one evaluation at 1 Hz

double run(FilterChain& chain, double x) {
    return evaluateFilterChain(chain, x);
}
double run(FilterChain&& chain, double x) {
    return evaluateFilterChain(chain, x);
}

// One operator around VALUE, for arguments a filter string cannot write (NaN, infinity, any float).
FilterChain singleStage(FilterKind kind, float p1, float p2 = 0, float p3 = 0) {
    FilterChain chain{.valid = true};
    chain.stages.push_back(makeFilterStage(kind, p1, p2, p3, 0));
    chain.stages.push_back(makeFilterStage(VALUE, 0, 0, 0, 0));
    return chain;
}

// Each pair is an input and the output expected for it, fed to one chain in order.
void expectOutputs(const char* text, const std::vector<std::pair<double, double>>& samples,
                   double tolerance = 0) {
    auto chain = parseFilterString(text);
    ASSERT_TRUE(chain.valid) << text;
    for (const auto& [in, out] : samples)
        EXPECT_NEAR(run(chain, in), out, tolerance) << text << " at " << in;
}

TEST(FilterEvaluation, InvalidChainYieldsZeroAndKeepsItsState) {
    EXPECT_EQ(run(parseFilterString("GAIN(VALUE;2"), 1.0), 0.0);
    auto chain = parseFilterString("EMALP(VALUE;10)");
    EXPECT_NEAR(run(chain, 1.0), 0.1, 1e-7);
    chain.valid = false;
    EXPECT_EQ(run(chain, 1.0), 0.0);
    EXPECT_EQ(run(chain, 1.0), 0.0);
    chain.valid = true;
    EXPECT_NEAR(run(chain, 1.0), 0.19, 1e-7);
}

TEST(FilterEvaluation, TheValueEntersTheInnermostStageFirst) {
    EXPECT_NEAR(run(parseFilterString("EMALP(VALUE;10)"), 1), 0.1, 1e-7);
    EXPECT_NEAR(run(parseFilterString("EMAHP(VALUE;20)"), 1), 0.95, 1e-7);
    // The moving average first, then the gain around it: 0.1, then 0.2.
    EXPECT_NEAR(run(parseFilterString("GAIN(EMALP(VALUE;10);2)"), 1), 0.2, 1e-7);
}

TEST(FilterEvaluation, StatelessOperatorsInnermostFirstWithAFiniteResult) {
    expectOutputs("GAIN(CROP(VALUE;-1;1);10)", {{5, 10}});
    expectOutputs("CROP(GAIN(VALUE;10);-1;1)", {{5, 1}});
    expectOutputs("ABS(GAIN(VALUE;-3))", {{2, 6}, {-1, 3}});
    expectOutputs("MUL(VALUE;-2)", {{3, -6}});
    expectOutputs("CROP(VALUE;-1;2)", {{-5, -1}, {5, 2}, {0.5, 0.5}});
    expectOutputs("CROP(VALUE;5;-5)", {{-100, 5}, {0, 5}, {100, 5}});
    expectOutputs("REMAP(VALUE;0;10;100;200)", {{5, 150}, {-10, 0}, {20, 300}});
    expectOutputs("REMAP(VALUE;1;1.00000001;0;10)", {{7, 7}, {-3, -3}});
    expectOutputs("BITSCALE(VALUE;2;5)", {{1, 2.5}, {4, 5}, {-1, 0}, {2, 5}});
    expectOutputs("BITSCALE(VALUE;0;255)", {{5, 0}, {-5, 0}});
    expectOutputs("BITSCALESIGNED(VALUE;1;100)", {{-2, -100}, {0.5, 50}, {2, 100}});
    expectOutputs("BITSCALESIGNED(VALUE;0;100)", {{3, 0}});
    // The result is always finite.
    expectOutputs("VALUE", {{kNaN, 0}, {kInf, 0}, {-kInf, 0}});
    expectOutputs("GAIN(VALUE;2)", {{1e308, 0}, {-1e308, 0}, {1e307, 2e307}});
    expectOutputs("LOGISTIC(VALUE;10;1)", {{kNaN, 0}});
    // A zero limit is taken as 1e-9 and still saturates instead of dividing by zero.
    expectOutputs("LOGISTIC(VALUE;0;1)", {{5, 1e-9}, {-5, -1e-9}, {0, 0}}, 1e-15);
}

TEST(FilterEvaluation, LogisticIsAScaledTanhThatSaturates) {
    for (const auto& [limit, slope] : {std::pair{10.0f, 1.0f}, {-4.0f, 2.0f}, {0.5f, 3.0f}}) {
        auto chain = singleStage(LOGISTIC, limit, slope);
        for (double x : {-1e12, -30.0, -1.0, 0.0, 0.5, 3.0, 50.0, 1e12})
            EXPECT_NEAR(run(chain, x), limit * std::tanh(slope * x / limit), 1e-9) << limit << " " << x;
    }
}

TEST(FilterEvaluation, MovingAveragesFollowTheirRecurrenceAndRefuseNonFiniteSamples) {
    // Low-pass from rest: 1 - 0.9^n; high-pass: 0.9^n. Dropping the input to 0 then leaves the high-pass
    // at minus the decayed low-pass state, -(0.271 * 0.9). A sample that is not finite, or 1e300 (finite but
    // beyond the float state), is refused: the state stays, and the high-pass yields 0.
    expectOutputs("EMALP(VALUE;10)",
                  {{1, 0.1}, {kNaN, 0.1}, {kInf, 0.1}, {-kInf, 0.1}, {1e300, 0.1}, {1, 0.19}, {1, 0.271}},
                  1e-6);
    expectOutputs(
        "EMAHP(VALUE;10)",
        {{1, 0.9}, {kNaN, 0}, {kInf, 0}, {-kInf, 0}, {1e300, 0}, {1, 0.81}, {1, 0.729}, {0, -0.2439}}, 1e-6);
    // Length 1 passes the input through, but through the single-precision state.
    EXPECT_EQ(run(parseFilterString("EMALP(VALUE;1)"), 0.1), static_cast<double>(0.1f));
    // An infinity produced inside the chain is refused the same way.
    expectOutputs("EMALP(GAIN(VALUE;100000000000000000000000000000000000000);10)", {{1e300, 0}, {0, 0}});
}

// The fold as defined: one reflection at the nearer band edge per step.
double reflectStepwise(double x, double limit) {
    while (x > limit || x < -limit)
        x = x > 0 ? limit - (x - limit) : -limit - (limit + x);
    return x;
}

TEST(Rollover, MatchesStepwiseReflection) {
    // Up to 1e5 reflections each, on limits with few and with many significant bits, and the band's edges.
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> logMagnitude(-1.0, std::log10(2e5));
    for (float limit : {10.0f, 1.0f, 0.1f, 3.7f, 180.0f, 1e-3f, 2.5e4f, 1e-40f, -10.0f}) {
        auto chain = singleStage(ROLLOVER, limit);
        const double band = std::abs(limit);  // a negative limit is the band of its absolute value
        for (double x : {band, -band})
            ASSERT_EQ(run(chain, x), reflectStepwise(x, band)) << x << " in " << limit;
        for (int i = 0; i < 300; ++i) {
            const double x = (i % 2 ? -1 : 1) * band * std::pow(10.0, logMagnitude(random));
            ASSERT_EQ(run(chain, x), reflectStepwise(x, band)) << x << " in " << limit;
        }
    }
}

TEST(Rollover, EndsForEveryInput) {
    auto one = parseFilterString("ROLLOVER(VALUE;1)");
    // Multiples of 4 fold to 0, and x = 4k + 3 reflects to -1. The big doubles are multiples of 4.
    for (double x : {1e15, -1e15, 1e300, -1e300, std::numeric_limits<double>::max()})
        EXPECT_EQ(run(one, x), 0.0);
    EXPECT_EQ(run(one, 1e15 + 1), 1.0);
    EXPECT_EQ(run(one, 1e15 + 3), -1.0);
    // A band of width zero, and a non-finite input, fold to 0. The REMAP around the fold turns that 0
    // into 5, where a NaN would end as 0 at the chain's end.
    for (double x : {5.0, -5.0, 0.0})
        EXPECT_EQ(run(parseFilterString("REMAP(ROLLOVER(VALUE;0);0;1;5;6)"), x), 5.0) << x;
    for (double x : {kNaN, kInf, -kInf})
        EXPECT_EQ(run(parseFilterString("REMAP(ROLLOVER(VALUE;10);0;1;5;6)"), x), 5.0) << x;
    // Without a real band the stepwise fold stops at once and so does this one.
    EXPECT_EQ(run(singleStage(ROLLOVER, NAN), 123.0), 123.0);
    EXPECT_EQ(run(singleStage(ROLLOVER, INFINITY), -1e300), -1e300);
}

// Targets a layer seeded with `seed` must produce: -1 + 2 * (g / 2^32), all in float.
std::vector<float> targets(std::uint32_t seed, int count) {
    std::mt19937 generator(seed);
    std::vector<float> result(count);
    for (float& target : result)
        target = -1.0f + 2.0f * (static_cast<float>(generator()) / 4294967296.0f);
    return result;
}

TEST(Noise, InterpolatesBetweenSeededTargets) {
    // Period 4 is two evaluations: halfway to the next target, then on it. The first target is drawn
    // when the stage is created, and the line starts from 0.
    const auto d = targets(7, 3);
    auto chain = parseFilterString("NOISE(VALUE;1;4;7)");
    for (float v : {0.5f * d[0], d[0], 0.5f * d[0] + 0.5f * d[1], d[1], 0.5f * d[1] + 0.5f * d[2], d[2]})
        EXPECT_EQ(run(chain, 10.0), 10.0 + v);
    // Amplitude 0 adds nothing but still draws: 50 evaluations of period 10 draw 10 targets after the first.
    auto silent = parseFilterString("NOISE(VALUE;0;10;5)");
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(run(silent, i * 0.5), i * 0.5);
    std::mt19937 reference(5);
    reference.discard(11);
    EXPECT_EQ(silent.stages[0].noise->generator, reference);
}

TEST(Noise, SeedIsTheArgumentTruncatedToItsLow32Bits) {
    const struct {
        float argument;
        std::uint32_t seed;
    } cases[] = {{12.9f, 12}, {-12.9f, 0xFFFFFFF4u}, {4294967808.0f, 512} /* 2^32 + 512 */, {1e20f, 0}};
    for (const auto& c : cases) {
        std::mt19937 reference(c.seed);
        reference.discard(1);
        EXPECT_EQ(singleStage(NOISE, 1, 2, c.argument).stages[0].noise->generator, reference) << c.argument;
    }
}

TEST(Noise, ShortPeriodsDrawEveryEvaluationAndStayBounded) {
    // A period of one step or less acts as one step: each evaluation lands on the previous target.
    const auto d = targets(3, 200);
    for (float period : {2.0f, 1.0f, 0.5f, 0.0f, -5.0f, NAN}) {
        auto chain = singleStage(NOISE, 1, period, 3);
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(run(chain, 0), d[i]) << period << " at " << i;
    }
    for (float period : {3.0f, 2.5f, 7.0f}) {
        auto chain = singleStage(NOISE, 1, period, 3);
        for (int i = 0; i < 1000; ++i) {
            run(chain, 0);
            ASSERT_GE(chain.stages[0].noise->phase, 0.0f);
            ASSERT_LT(chain.stages[0].noise->phase, period);
        }
    }
}

TEST(Sinus, ReplacesItsInputAndKeepsItsPhaseBoundedAndAccurateInBothDirections) {
    auto scaled = parseFilterString("SINUS(GAIN(VALUE;5);3;7)");
    for (int k = 1; k <= 1000; ++k)
        EXPECT_NEAR(run(scaled, k * 13.0), 3 * std::sin(k * 7 * kStep), 1e-3) << k;
    for (float frequency : {1.0f, -1.0f}) {
        auto chain = singleStage(SINUS, 1, frequency);
        for (int k = 1; k <= 1000; ++k)
            ASSERT_NEAR(run(chain, 0), std::sin(k * frequency * kStep), 1e-3) << k;
        for (int k = 0; k < 2000000; ++k) {
            run(chain, 0);
            ASSERT_GE(chain.stages[0].state, 0.0f);
            ASSERT_LE(chain.stages[0].state, static_cast<float>(2 * std::numbers::pi));
        }
        // A runaway phase would have lost the precision to take a step this small accurately.
        const double before = chain.stages[0].state;
        EXPECT_NEAR(run(chain, 0), std::sin(before + frequency * kStep), 1e-5) << frequency;
    }
    auto infinite = singleStage(SINUS, 1, INFINITY);
    EXPECT_EQ(run(infinite, 1), 0.0);
    EXPECT_EQ(infinite.stages[0].state, 0.0f);
}

}  // namespace
}  // namespace tarvelmond
