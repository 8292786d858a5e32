#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "filter/filter_sys.h"

namespace tarvelmond {
namespace {

constexpr double kStep = 2 * std::numbers::pi * 0.002;  // phase step of one evaluation at 1 Hz

double run(const std::shared_ptr<FilterSys>& chain, double x) {
    return evaluateFilterChain(*chain, x, 1, 1, 1);
}

std::shared_ptr<FilterSys> singleStage(FilterKind kind, float p1, float p2, float p3) {
    auto chain = appendFilterStage(nullptr, kind, p1, p2, p3, 0);
    appendFilterStage(chain, VALUE, 0, 0, 0, 0);
    chain->valid.store(true);
    return chain;
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
    const auto d = targets(7, 4);
    const auto chain = parseFilterString("NOISE(VALUE;1;4;7)");
    const float expected[] = {0.5f * d[0], d[0], 0.5f * d[0] + 0.5f * d[1], d[1], 0.5f * d[1] + 0.5f * d[2],
                              d[2]};
    for (float v : expected)
        EXPECT_EQ(run(chain, 10.0), 10.0 + v);
    for (float target : targets(99, 1000)) {
        EXPECT_GE(target, -1.0f);
        EXPECT_LE(target, 1.0f);
    }
}

TEST(Noise, SeedIsTheArgumentTruncatedToItsLow32Bits) {
    const struct {
        float argument;
        std::uint32_t seed;
    } cases[] = {{12.9f, 12},
                 {-1.0f, 0xFFFFFFFFu},
                 {-12.9f, 0xFFFFFFF4u},
                 {4294967808.0f, 512},       // 2^32 + 512, exact in float
                 {123456789.0f, 123456792},  // the float nearest to 123456789
                 {1e20f, 0}};                // beyond 64 bits
    for (const auto& c : cases) {
        const auto chain = singleStage(NOISE, 1, 2, c.argument);
        std::mt19937 reference(c.seed);
        reference.discard(1);
        EXPECT_EQ(chain->noise->generator, reference) << c.argument;
        EXPECT_EQ(chain->noise->to, targets(c.seed, 1)[0]) << c.argument;
    }
}

TEST(Noise, SameSeedSameNoise) {
    const auto a = parseFilterString("NOISE(VALUE;3;50;11)");
    const auto b = parseFilterString("GAIN(NOISE(VALUE;3;50;11);1)");
    const auto other = parseFilterString("NOISE(VALUE;3;50;12)");
    int differences = 0;
    for (int i = 0; i < 1000; ++i) {
        const double fromA = run(a, i);
        EXPECT_EQ(fromA, run(b, i));
        differences += fromA != run(other, i);
    }
    EXPECT_GT(differences, 900);
}

TEST(Noise, ZeroAmplitudeStillAdvancesTheGenerator) {
    // Period 10 is five evaluations, so 50 evaluations draw 10 targets after the first.
    const auto chain = parseFilterString("NOISE(VALUE;0;10;5)");
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(run(chain, i * 0.5), i * 0.5);
    std::mt19937 reference(5);
    reference.discard(11);
    EXPECT_EQ(chain->noise->generator, reference);
}

TEST(Noise, ShortPeriodsDrawEveryEvaluationAndStayBounded) {
    // A period of one step or less acts as one step: each evaluation lands on the previous target.
    const auto d = targets(3, 201);
    for (float period : {2.0f, 1.0f, 0.5f, 0.0f, -5.0f, NAN}) {
        const auto chain = singleStage(NOISE, 1, period, 3);
        for (int i = 0; i < 200; ++i)
            EXPECT_EQ(run(chain, 0), d[i]) << period << " at " << i;
        EXPECT_EQ(chain->noise->phase, 0.0f) << period;
    }
    for (float period : {3.0f, 2.5f, 7.0f}) {
        const auto chain = singleStage(NOISE, 1, period, 3);
        for (int i = 0; i < 1000; ++i) {
            run(chain, 0);
            ASSERT_GE(chain->noise->phase, 0.0f);
            ASSERT_LT(chain->noise->phase, period);
        }
    }
    const auto stage = singleStage(NOISE, 1, 4, 3);
    stage->noise.reset();
    EXPECT_EQ(run(stage, 2.5), 2.5);
}

TEST(Sinus, ReplacesItsInputWithASineOfTheTickPhase) {
    const auto chain = parseFilterString("SINUS(GAIN(VALUE;5);1;1)");
    for (int k = 1; k <= 250; ++k) {
        EXPECT_NEAR(run(chain, k * 13.0), std::sin(k * kStep), 5e-5) << k;
        if (k == 125) {
            EXPECT_NEAR(chain->state, std::numbers::pi / 2, 1e-4);
        }
    }
    EXPECT_NEAR(chain->state, std::numbers::pi, 1e-4);  // half a turn

    const auto scaled = parseFilterString("SINUS(VALUE;3;7)");
    for (int k = 1; k <= 1000; ++k)
        EXPECT_NEAR(run(scaled, 0), 3 * std::sin(k * 7 * kStep), 1e-3) << k;
}

TEST(Sinus, PhaseStaysBoundedAndAccurateInBothDirections) {
    for (float frequency : {1.0f, -1.0f}) {
        const auto chain = singleStage(SINUS, 1, frequency, 0);
        for (int k = 1; k <= 1000; ++k)
            ASSERT_NEAR(run(chain, 0), std::sin(k * frequency * kStep), 1e-3) << k;
        for (int k = 0; k < 2000000; ++k) {
            run(chain, 0);
            ASSERT_GE(chain->state, 0.0f);
            ASSERT_LE(chain->state, static_cast<float>(2 * std::numbers::pi));
        }
        // A runaway phase would have lost the precision to take a step this small accurately.
        const double before = chain->state;
        EXPECT_NEAR(run(chain, 0), std::sin(before + frequency * kStep), 1e-5) << frequency;
    }
    const auto infinite = singleStage(SINUS, 1, INFINITY, 0);
    EXPECT_EQ(run(infinite, 1), 0.0);
    EXPECT_EQ(infinite->state, 0.0f);
}

}  // namespace
}  // namespace tarvelmond
