#pragma once
#include <array>
#include <chrono>
#include <optional>

#include "peers/safety_monitor.h"

namespace tarvelmond::rig_safety {

// What the rig may expect at each moment, from what the host and the devices have done: frames while
// the game runs, the rig is ready, the thread and the bridge run and the controller reads; none while
// the host has stopped the motion (ready 0, thread or bridge stopped). Hands the spans to the monitor
// as they close.
class Expectations {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Condition { Game, Ready, Thread, Bridge, Controller };

    Expectations(test::SafetyMonitor& monitor, double startWithinMs, Clock::time_point start);

    // The condition goes: from `issued` (the call was made) frames are no longer due; if `quiet`, a
    // stop of the motion, none may come once `returned`.
    void lose(Condition condition, Clock::time_point issued, Clock::time_point returned, bool quiet = true);
    // The condition is back: from `issued` frames may come again; from `returned` they are due.
    void regain(Condition condition, Clock::time_point issued, Clock::time_point returned);
    void finish(Clock::time_point at);

  private:
    static constexpr std::size_t kConditions = 5;
    bool all() const;
    bool motionStopped() const;
    bool& on(Condition condition) { return on_[static_cast<std::size_t>(condition)]; }

    test::SafetyMonitor& monitor_;
    double startWithinMs_;
    std::array<bool, kConditions> on_{};
    std::optional<Clock::time_point> met_;
    std::optional<Clock::time_point> quietSince_;
    std::optional<Clock::time_point> stoppedBefore_;  // the last stop of the motion that returned
};

}  // namespace tarvelmond::rig_safety
