// One tick of cue computation with 32 realistic chains. Target: under 1 % of the 2000 us period
// (20 us) natively.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "engine/motion_engine.h"
#include "engine/motion_tick.h"
#include "motion/cue_computation.h"
#include "support/realistic_profile.h"

namespace tarvelmond {
namespace {

std::unique_ptr<MotionEngine> realisticEngine() {
    auto engine = std::make_unique<MotionEngine>();
    engine->gameSource.active[kXplane].store(true);
    test::installRealisticProfile(*engine);
    return engine;
}

void feed(MotionEngine& engine, double t) {
    auto& record = engine.gameSource.record;
    record.set(Channel::lateral_accel_g, 3.0 * std::sin(t));
    record.set(Channel::longitu_accel_g, 2.0 * std::cos(0.7 * t));
    record.set(Channel::vertica_accel_g, 9.8 + std::sin(3.0 * t));
    record.set(Channel::yaw_speed, 10.0 * std::sin(0.3 * t));
    record.set(Channel::roll_speed, 5.0 * std::cos(t));
    record.set(Channel::pitch_speed, 4.0 * std::sin(1.3 * t));
    record.set(Channel::roll_position, 20.0 * std::sin(0.1 * t));
    record.set(Channel::pitch_position, 5.0 * std::sin(0.2 * t));
    record.set(Channel::speed, 40.0 + 10.0 * std::sin(0.05 * t));
}

void BM_ComputeMotionCues(benchmark::State& state) {
    auto engine = realisticEngine();
    double t = 0.0;
    for (auto _ : state) {
        feed(*engine, t += 0.002);
        computeMotionCues(engine->gameSource.record, engine->cues);
        benchmark::DoNotOptimize(engine->cues.finalCues.data());
    }
}
BENCHMARK(BM_ComputeMotionCues);

void BM_WorkedTick(benchmark::State& state) {
    auto engine = realisticEngine();
    engine->loopTimer.tick();
    double t = 0.0;
    for (auto _ : state) {
        feed(*engine, t += 0.002);
        runMotionTick(*engine);
        benchmark::DoNotOptimize(engine->cues.finalCues.data());
    }
}
BENCHMARK(BM_WorkedTick);

}  // namespace
}  // namespace tarvelmond
