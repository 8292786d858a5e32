// Cost of one evaluation on the real-time path, per realistic axis chain; the input sweeps a slow sine
// as a telemetry channel would.
#include <benchmark/benchmark.h>

#include <cmath>

#include "filter/filter_chain.h"

namespace {

void evaluateChain(benchmark::State& state, const char* text) {
    auto chain = tarvelmond::parseFilterString(text);
    if (!chain.valid) {
        state.SkipWithError("filter string rejected");
        return;
    }
    double t = 0.0;
    for (auto _ : state) {
        const double x = 15.0 * std::sin(t);
        t += 0.01;
        benchmark::DoNotOptimize(tarvelmond::evaluateFilterChain(chain, x));
    }
}

BENCHMARK_CAPTURE(evaluateChain, value, "VALUE");
BENCHMARK_CAPTURE(evaluateChain, washout, "GAIN(EMAHP(EMALP(VALUE;10);200);0.8)");
BENCHMARK_CAPTURE(evaluateChain, soft_limit, "LOGISTIC(CROP(GAIN(VALUE;2);-20;20);10;1)");
BENCHMARK_CAPTURE(evaluateChain, rumble, "GAIN(NOISE(EMALP(VALUE;5);0,3;40;17);1,5)");
BENCHMARK_CAPTURE(evaluateChain, vibration, "CROP(SINUS(VALUE;0,5;12);-1;1)");
BENCHMARK_CAPTURE(evaluateChain, heading, "ROLLOVER(REMAP(VALUE;0;360;-180;180);180)");

}  // namespace
