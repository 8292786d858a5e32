#pragma once
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bridge_lender.h"
#include "call_watch.h"
#include "host_thread.h"
#include "peers/safety_monitor.h"
#include "product.h"
#include "scenario_plan.h"

namespace tarvelmond::rig_safety {

// The host's calls into the library, made from several host threads, each watched for a hang, and the
// stops timed against their bound.
class HostCalls {
  public:
    using Clock = std::chrono::steady_clock;
    struct Span {
        Clock::time_point issued;
        Clock::time_point returned;
    };

    HostCalls(Product& product, CallWatch& watch, test::SafetyMonitor& monitor, double stopBoundMs);
    ~HostCalls();
    HostCalls(const HostCalls&) = delete;
    HostCalls& operator=(const HostCalls&) = delete;

    // Makes the call on host thread `thread`; a stop longer than its bound is reported.
    Span call(int thread, const std::string& name, bool isStop, const std::function<void()>& call);
    Span startThread(int thread);
    Span stopThread(int thread);
    // Several fresh host threads start and stop the game-source thread at once; then one host thread
    // makes the final call. Returns the final call's span.
    Span race(const Event& event);
    // A lent thread calls startKestrovane_Thread and another host thread stopKestrovane_Thread
    // `offsetNs` later, both let go at once; or (negative) the start follows the stop's return by
    // -offsetNs. True when the stop was the later call.
    bool raceBridge(BridgeLender& bridge, int offsetNs);
    // A host thread holding again and again, at random intervals of up to 0.3 ms, for `lengthS`: each
    // call re-sets a GROUND-profile flag (a driving game never uses it), so only the hold acts.
    void holdStorm(double lengthS, std::uint64_t seed);

  private:
    void timedOnThisThread(const std::string& name, bool isStop, const std::function<void()>& call);

    Product& product_;
    CallWatch& watch_;
    test::SafetyMonitor& monitor_;
    double stopBoundMs_;
    std::array<std::unique_ptr<HostThread>, 3> threads_;
    std::vector<std::thread> storms_;
};

}  // namespace tarvelmond::rig_safety
