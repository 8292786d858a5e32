#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "peers/safety_monitor.h"
#include "scenario_plan.h"

namespace tarvelmond::rig_safety {

struct ScenarioResult {
    std::uint64_t seed = 0;
    std::string game;
    std::uint64_t frames = 0;
    double longestGapMs = 0.0;  // while frames were due
    int injected = 0;
    std::uint64_t hostMessages = 0;
    std::size_t violationCount = 0;
    std::size_t loadSensitive = 0;  // of those, the ones a busy machine can cause (see SafetyMonitor)
    // Violations of earlier runs of the same seed, all of the kind a busy machine can cause, that a
    // later run did not show again: the machine's, not the library's; counted apart.
    std::size_t unconfirmed = 0;
    // Gaps between frames that the machine's hold-ups of the process explain (see StallWitness); not
    // counted.
    std::size_t machineGaps = 0;
    std::vector<test::Violation> violations;
};

// Faults a plan injects: every event that disturbs the rig (not those that put things back).
int injectedFaults(const ScenarioPlan& plan);

void printScenarioLine(const ScenarioResult& result);
// A run whose violations all may be the machine's, and which is run again: what it found.
void printRepeat(const ScenarioResult& result);
// The seed, the plan with every event, what was violated, and how to run it again.
void printFailure(const ScenarioPlan& plan, const ScenarioResult& result, const std::string& replay);
// A call that never returned: everything known so far, then the program ends (nothing can stop the
// call).
[[noreturn]] void printHangAndExit(const ScenarioPlan& plan, const std::vector<test::Violation>& violations,
                                   const std::string& call, const std::string& replay);
void printSummary(const std::vector<ScenarioResult>& results, double seconds);

}  // namespace tarvelmond::rig_safety
