#pragma once
#include <array>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "latency_matcher.h"
#include "peers/virtual_controller.h"

namespace tarvelmond::rig {

// Latency percentiles in milliseconds.
struct LatencySummary {
    std::size_t count = 0;
    double p50 = 0, p99 = 0, max = 0;
};
LatencySummary summarise(std::vector<double> ms);

// What the controller received, for the status line and the closing summary.
class RigStatistics {
  public:
    explicit RigStatistics(const std::array<std::array<float, 2>, 6>& rigLimits) : limits_(rigLimits) {}

    void message(const test::ReceivedMessage& m);
    void weights(double timeS, double groundPercent);
    void crcFailures(int count) { crcFailures_ = count; }

    std::string statusLine(double timeS, const std::string& game, double air, double ground,
                           const std::vector<LatencyMatcher::Sample>& samples, Clock::time_point now);
    std::string oneLine(const std::vector<LatencyMatcher::Sample>& samples) const;
    void printSummary(std::FILE* out, const std::string& game,
                      const std::vector<LatencyMatcher::Sample>& samples) const;

    struct Verdict {
        bool ok;
        std::string problem;
    };
    Verdict verdict() const;

  private:
    double framesPerSecond() const;

    std::array<std::array<float, 2>, 6> limits_;
    std::size_t frames_ = 0;
    std::size_t commands_ = 0;
    std::size_t strayBytes_ = 0;
    int crcFailures_ = 0;
    Clock::time_point firstFrame_{}, lastFrame_{};
    std::deque<Clock::time_point> recent_;  // frame arrivals of the last second
    std::array<float, 6> min_{}, max_{};
    std::array<std::size_t, 6> atLimit_{};
    bool onGround_ = false;
    bool groundKnown_ = false;
    std::vector<std::pair<double, bool>> transitions_;  // time, to ground
};

}  // namespace tarvelmond::rig
