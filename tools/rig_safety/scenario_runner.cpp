#include "scenario_runner.h"

#include <cstdio>
#include <cstdlib>

#include "scenario_session.h"

namespace tarvelmond::rig_safety {
namespace {

// Each scenario's host messages carry commands of their own, so that one still on its way from the
// scenario before is not taken for one of this scenario's.
std::uint8_t firstHostCommand(int run) {
    return static_cast<std::uint8_t>(0x40 + 4 * (run % 16));
}

}  // namespace

ScenarioRunner::ScenarioRunner(Product& product, TimingProfile timing, std::string replayOptions)
    : product_(product),
      timing_(std::move(timing)),
      replayOptions_(std::move(replayOptions)),
      watch_(std::chrono::milliseconds(static_cast<long long>(timing_.hangMs)),
             [this](const std::string& call) { onHang(call); }) {}

ScenarioRunner::~ScenarioRunner() = default;

std::string ScenarioRunner::replayCommand(std::uint64_t seed) const {
    return "rig_safety --seed " + std::to_string(seed) + (replayOptions_.empty() ? "" : " " + replayOptions_);
}

ScenarioResult ScenarioRunner::run(const ScenarioPlan& plan) {
    ScenarioSession session(product_, watch_, timing_, plan, previous_ ? &*previous_ : nullptr,
                            firstHostCommand(runs_++));
    {
        std::lock_guard lock(currentMutex_);
        current_ = &session;
    }
    ScenarioResult result = session.run();
    {
        std::lock_guard lock(currentMutex_);
        current_ = nullptr;
    }
    previous_ = plan.rig;
    return result;
}

void ScenarioRunner::onHang(const std::string& call) {
    std::lock_guard lock(currentMutex_);
    if (current_ == nullptr) {
        std::printf("FAILED: %s did not return [bounded stop]\n", call.c_str());
        std::fflush(stdout);
        std::_Exit(3);
    }
    printHangAndExit(current_->plan(), current_->violationsSoFar(), call,
                     replayCommand(current_->plan().seed));
}

}  // namespace tarvelmond::rig_safety
