#pragma once
#include <chrono>
#include <memory>
#include <optional>

#include "bridge_lender.h"
#include "call_watch.h"
#include "expectations.h"
#include "game_player.h"
#include "host_calls.h"
#include "host_messages.h"
#include "peers/safety_monitor.h"
#include "product.h"
#include "report.h"
#include "rig_devices.h"
#include "scenario_plan.h"
#include "stall_witness.h"
#include "tick_rate_probe.h"
#include "timing_profile.h"

namespace tarvelmond::rig_safety {

// One scenario: the rig set up through the exports, the peers in place, the events played at their
// times, everything stopped at the end; the safety monitor sees every frame meanwhile.
class ScenarioSession {
  public:
    using Clock = std::chrono::steady_clock;

    ScenarioSession(Product& product, CallWatch& watch, const TimingProfile& timing, const ScenarioPlan& plan,
                    const RigSetup* previous, std::uint8_t firstHostCommand);
    ~ScenarioSession();
    ScenarioSession(const ScenarioSession&) = delete;
    ScenarioSession& operator=(const ScenarioSession&) = delete;

    ScenarioResult run();
    const ScenarioPlan& plan() const { return plan_; }
    std::vector<test::Violation> violationsSoFar() const { return monitor_.violations(); }

  private:
    void setUpRig();
    void play(const Event& event, std::size_t index);
    void playGame(const Event& event, Clock::time_point issued);
    void playController(const Event& event, Clock::time_point issued);
    void stopBridge(int hostThread);
    void stopUntilReturned();
    void startOrStopBridgeRacing(const Event& event);
    void excuseWhatThePortHeld(Clock::time_point stopIssued, Clock::time_point stopReturned);
    void finish();
    void setUpFailed(const std::string& what);

    Product& product_;
    CallWatch& watch_;
    TimingProfile timing_;
    const ScenarioPlan& plan_;
    Clock::time_point origin_;
    test::HostStreams streams_;
    test::SafetyMonitor monitor_;
    Expectations expectations_;
    std::unique_ptr<RigDevices> devices_;
    std::unique_ptr<GamePlayer> game_;
    std::unique_ptr<BridgeLender> bridge_;
    std::unique_ptr<HostCalls> calls_;
    std::unique_ptr<HostMessageStreams> messages_;
    std::unique_ptr<TickRateProbe> probe_;
    std::unique_ptr<StallWitness> witness_;
    std::optional<Clock::time_point> controllerHungSince_;
    std::optional<Clock::time_point> controllerStalledSince_;  // not reading, hung or not
    // Since then a wire-rate controller reads what its pause left in the port, until a stop empties it.
    std::optional<Clock::time_point> controllerResumedAt_;
};

}  // namespace tarvelmond::rig_safety
