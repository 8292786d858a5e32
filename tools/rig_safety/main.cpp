// rig_safety: drives the library, loaded by name, through seeded scenarios with the game emulator, a
// virtual motion controller and a wind device, and checks every frame the controller receives against
// the rules a rig owner relies on (peers/safety_monitor.h). See the "Rig safety" section of README.md.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "known_faults.h"
#include "lifecycle_checks.h"
#include "product.h"
#include "report.h"
#include "scenario_runner.h"

using namespace tarvelmond::rig_safety;

namespace {

// The CI set: a minute or two of scenarios, planned clear of the faults whose mending is not merged.
const std::vector<std::uint64_t> kCiSeeds = {101, 202, 303, 404, 505};
constexpr double kCiLengthS = 8.0;

struct Options {
    bool ci = false;
    bool planOnly = false;
    bool listFaults = false;
    bool exitWithoutStop = false;
    std::vector<std::uint64_t> seeds;
    int scenarios = 0;
    std::uint64_t firstSeed = 1;
    bool firstSeedGiven = false;
    double minutes = 0.0;
    int cycles = 0;
    double lengthS = 0.0;
    std::string timing;
};

void usage(const char* program) {
    std::printf(
        "usage: %s [--ci] [--seed N] [--scenarios N [--first-seed N]] [--minutes M] [--cycles N]\n"
        "          [--length S] [--timing native|sanitizer|wine] [--plan] [--known-faults] "
        "[--exit-without-stop]\n"
        "  --ci            the CI set (seeds 101 202 303 404 505), planned clear of the known faults;\n"
        "                  with --seed, plan that seed as CI does\n"
        "  --seed N        one scenario; the same seed gives the same events\n"
        "  --scenarios N   N scenarios, seeds from --first-seed on\n"
        "  --minutes M     random scenarios for M minutes (the long soak)\n"
        "  --cycles N      N start/stop cycles of the threads, with handles, threads and memory before and "
        "after\n"
        "  --length S      events fall into the first S seconds (then the rig settles)\n"
        "  --plan          print the plans, run nothing\n"
        "  --known-faults  the faults not yet mended and what the CI set leaves out for them\n"
        "  --exit-without-stop  start everything and return from main without stopping anything\n",
        program);
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--ci") {
            options.ci = true;
        } else if (arg == "--plan") {
            options.planOnly = true;
        } else if (arg == "--known-faults") {
            options.listFaults = true;
        } else if (arg == "--exit-without-stop") {
            options.exitWithoutStop = true;
        } else if (const char* value = nullptr;
                   (arg == "--seed" || arg == "--scenarios" || arg == "--first-seed" || arg == "--minutes" ||
                    arg == "--cycles" || arg == "--length" || arg == "--timing") &&
                   (value = next()) != nullptr) {
            if (arg == "--seed") options.seeds.push_back(std::strtoull(value, nullptr, 10));
            if (arg == "--scenarios") options.scenarios = std::atoi(value);
            if (arg == "--first-seed") {
                options.firstSeed = std::strtoull(value, nullptr, 10);
                options.firstSeedGiven = true;
            }
            if (arg == "--minutes") options.minutes = std::atof(value);
            if (arg == "--cycles") options.cycles = std::atoi(value);
            if (arg == "--length") options.lengthS = std::atof(value);
            if (arg == "--timing") options.timing = value;
        } else {
            return false;
        }
    }
    return true;
}

void listKnownFaults() {
    for (const KnownFault& fault : knownFaults()) {
        std::printf("%s\n  the CI set leaves out:", fault.name.c_str());
        for (EventKind kind : fault.exposedBy)
            std::printf(" [%s]", kindName(kind));
        if (fault.needsGameBeforeThread) std::printf(" [a game found late or a rig made ready late]");
        if (fault.needsHoldsOnlyWhenSettled) std::printf(" [holds while a fade runs]");
        if (fault.needsShortStalls) std::printf(" [stalls that drop the game]");
        if (fault.needsShortWindIntervals) std::printf(" [wind intervals above 30 ms]");
        if (fault.excusesFadeAfterPause) std::printf(" [the fade over the first frames after a pause]");
        if (fault.needsNoWind) std::printf(" [a wind device]");
        if (fault.onlyWith) std::printf(" (with %s)", gameName(*fault.onlyWith));
        std::printf("%s\n", fault.onlyNatively ? " (Linux only)" : "");
    }
}

PlanOptions planOptions(const Options& options) {
    PlanOptions plan;
    if (options.ci) {
        plan = avoidingKnownFaults(plan);
        plan.lengthS = kCiLengthS;
    }
    if (options.lengthS > 0.0) plan.lengthS = options.lengthS;
    return plan;
}

std::string replayOptions(const Options& options) {
    std::string text = options.ci ? "--ci" : "";
    if (options.lengthS > 0.0)
        text += (text.empty() ? "" : " ") + std::string("--length ") + std::to_string(options.lengthS);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        usage(argv[0]);
        return 2;
    }
    if (options.listFaults) {
        listKnownFaults();
        return 0;
    }
    if (options.exitWithoutStop) {
        // Loaded for the life of the process, as a host that links the library loads it.
        static Product product;
        if (!product.loaded()) {
            std::fprintf(stderr, "rig_safety: %s\n", product.error().c_str());
            return 2;
        }
        leaveRunning(product);
        return 0;
    }
    std::vector<std::uint64_t> seeds = options.seeds;
    if (seeds.empty() && options.ci && options.scenarios == 0 && options.minutes <= 0.0) seeds = kCiSeeds;
    if (options.minutes > 0.0 && !options.firstSeedGiven) {
        // A long run starts somewhere new each time; every scenario's seed is printed for its replay.
        options.firstSeed = static_cast<std::uint64_t>(
            std::chrono::system_clock::now().time_since_epoch().count() % 1000000000);
    }
    for (int i = 0; i < options.scenarios; ++i)
        seeds.push_back(options.firstSeed + static_cast<std::uint64_t>(i));
    if (seeds.empty() && options.minutes <= 0.0 && options.cycles <= 0) {
        usage(argv[0]);
        return 2;
    }
    const PlanOptions planning = planOptions(options);
    if (options.planOnly) {
        for (std::uint64_t seed : seeds)
            std::printf("seed %llu\n%s\n", static_cast<unsigned long long>(seed),
                        describe(planScenario(seed, planning)).c_str());
        return 0;
    }

    Product product;
    if (!product.loaded()) {
        std::fprintf(stderr, "rig_safety: %s\n", product.error().c_str());
        return 2;
    }
    bool ok = true;
    if (options.cycles > 0) ok = runStartStopSoak(product, options.cycles) && ok;

    TimingProfile timing = timingProfile(options.timing);
    if (options.ci) timing.monitor = excusingKnownFaults(timing.monitor);
    ScenarioRunner runner(product, timing, replayOptions(options));
    std::vector<ScenarioResult> results;
    const auto start = std::chrono::steady_clock::now();
    const auto elapsedS = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    if (!seeds.empty() || options.minutes > 0.0) {
        std::printf(
            "timing profile %s: a frame every %.0f ms at most while the rig runs; stops within %.0f ms\n",
            timing.name.c_str(), timing.monitor.maxGapMs, timing.stopBoundMs);
    }
    const auto runOne = [&](std::uint64_t seed) {
        const ScenarioPlan plan = planScenario(seed, planning);
        ScenarioResult result = runner.run(plan);
        // Gaps (and steps right after them) alone may be the machine's, another program's real-time
        // threads: a library that stalls or jumps does so again at the same event, a busy machine
        // seldom three times.
        for (int again = 0;
             again < 2 && result.violationCount > 0 && result.violationCount == result.loadSensitive;
             ++again) {
            printRepeat(result);
            ScenarioResult rerun = runner.run(plan);
            rerun.unconfirmed = result.unconfirmed + result.loadSensitive;
            result = std::move(rerun);
        }
        printScenarioLine(result);
        if (result.violationCount > 0) printFailure(plan, result, runner.replayCommand(seed));
        results.push_back(std::move(result));
    };
    for (std::uint64_t seed : seeds)
        runOne(seed);
    for (std::uint64_t seed = options.firstSeed + seeds.size(); elapsedS() < options.minutes * 60.0; ++seed)
        runOne(seed);
    if (!results.empty()) printSummary(results, elapsedS());
    for (const ScenarioResult& result : results)
        ok = ok && result.violationCount == 0;
    return ok ? 0 : 1;
}
