#include "report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tarvelmond::rig_safety {
namespace {

void printViolations(const std::vector<test::Violation>& violations) {
    for (const test::Violation& v : violations)
        std::printf("  %+9.0f ms  [%s] %s\n", v.atMs, v.rule.c_str(), v.detail.c_str());
}

void printPlan(const ScenarioPlan& plan) {
    std::printf("%s", describe(plan).c_str());
}

}  // namespace

int injectedFaults(const ScenarioPlan& plan) {
    int count = 0;
    for (const Event& event : plan.events) {
        switch (event.kind) {
            case EventKind::GameStalls:
            case EventKind::GameCrashes:
            case EventKind::BlockCloses:
            case EventKind::GarbageNaN:
            case EventKind::GarbageInfinity:
            case EventKind::GarbageHuge:
            case EventKind::GarbageLength:
            case EventKind::GarbageDegenerate:
            case EventKind::ReadyOff:
            case EventKind::AxisOff:
            case EventKind::HoldStorm:
            case EventKind::ChainSwap:
            case EventKind::ControllerUnplugged:
            case EventKind::ControllerStalls:
            case EventKind::ControllerHangs:
            case EventKind::WindStalls:
            case EventKind::WindUnplugged:
            case EventKind::ThreadStop:
            case EventKind::StartStopRace:
            case EventKind::BridgeStop:
            case EventKind::BridgeStartStopRace:
            case EventKind::CoarsePacing:
                ++count;
                break;
            default:
                break;
        }
    }
    return count;
}

void printScenarioLine(const ScenarioResult& r) {
    std::printf("seed %-20llu %-24s %7llu frames (longest gap %5.1f ms) %3d faults %5llu host messages  %s\n",
                static_cast<unsigned long long>(r.seed), r.game.c_str(),
                static_cast<unsigned long long>(r.frames), r.longestGapMs, r.injected,
                static_cast<unsigned long long>(r.hostMessages),
                r.violationCount == 0 ? "ok" : (std::to_string(r.violationCount) + " VIOLATIONS").c_str());
    std::fflush(stdout);
}

void printRepeat(const ScenarioResult& result) {
    std::printf("seed %llu: %zu violations a busy machine can cause and nothing else; running it again\n",
                static_cast<unsigned long long>(result.seed), result.loadSensitive);
    printViolations(result.violations);
    std::fflush(stdout);
}

void printFailure(const ScenarioPlan& plan, const ScenarioResult& result, const std::string& replay) {
    std::printf("\nFAILED: seed %llu, %zu violations\n", static_cast<unsigned long long>(plan.seed),
                result.violationCount);
    printPlan(plan);
    std::printf("violations (times from the scenario's start):\n");
    printViolations(result.violations);
    std::printf("replay: %s\n\n", replay.c_str());
    std::fflush(stdout);
}

void printHangAndExit(const ScenarioPlan& plan, const std::vector<test::Violation>& violations,
                      const std::string& call, const std::string& replay) {
    std::printf("\nFAILED: seed %llu: %s did not return [bounded stop]\n",
                static_cast<unsigned long long>(plan.seed), call.c_str());
    printPlan(plan);
    std::printf("violations so far:\n");
    printViolations(violations);
    std::printf("replay: %s\n", replay.c_str());
    std::fflush(stdout);
    std::_Exit(3);
}

void printSummary(const std::vector<ScenarioResult>& results, double seconds) {
    std::uint64_t frames = 0;
    std::uint64_t messages = 0;
    int injected = 0;
    std::size_t violations = 0;
    std::size_t unconfirmed = 0;
    std::size_t machineGaps = 0;
    double longestGap = 0.0;
    for (const ScenarioResult& r : results) {
        longestGap = std::max(longestGap, r.longestGapMs);
        frames += r.frames;
        messages += r.hostMessages;
        injected += r.injected;
        violations += r.violationCount;
        unconfirmed += r.unconfirmed;
        machineGaps += r.machineGaps;
    }
    std::printf(
        "\nRig safety: %zu scenarios in %.0f s, %llu frames checked, %d faults injected, %llu host messages, "
        "%zu violations\n",
        results.size(), seconds, static_cast<unsigned long long>(frames), injected,
        static_cast<unsigned long long>(messages), violations);
    std::printf("longest gap between frames while they were due: %.1f ms\n", longestGap);
    if (unconfirmed > 0) {
        std::printf(
            "(and %zu gaps between frames that a second run of the same seed did not show: the machine's "
            "load, not counted)\n",
            unconfirmed);
    }
    if (machineGaps > 0) {
        std::printf("(and %zu gaps between frames while the machine held the process up: not counted)\n",
                    machineGaps);
    }
    std::fflush(stdout);
}

}  // namespace tarvelmond::rig_safety
