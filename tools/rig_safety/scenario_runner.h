#pragma once
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "call_watch.h"
#include "product.h"
#include "report.h"
#include "scenario_plan.h"
#include "timing_profile.h"

namespace tarvelmond::rig_safety {

// Runs scenarios one after another against the one loaded library, as one host session does: each
// scenario sets the rig up, plays its events at their times with the real peers, stops everything
// and hands back what the safety monitor found.
class ScenarioRunner {
  public:
    ScenarioRunner(Product& product, TimingProfile timing, std::string replayOptions);
    ~ScenarioRunner();
    ScenarioRunner(const ScenarioRunner&) = delete;
    ScenarioRunner& operator=(const ScenarioRunner&) = delete;

    ScenarioResult run(const ScenarioPlan& plan);
    std::string replayCommand(std::uint64_t seed) const;

  private:
    void onHang(const std::string& call);

    Product& product_;
    TimingProfile timing_;
    std::string replayOptions_;
    std::optional<RigSetup> previous_;
    int runs_ = 0;
    class ScenarioSession* current_ = nullptr;  // for a hang report, from the watch's thread
    std::mutex currentMutex_;
    CallWatch watch_;
};

}  // namespace tarvelmond::rig_safety
