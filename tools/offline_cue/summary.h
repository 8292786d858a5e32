#pragma once
#include <array>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <vector>

#include "replay.h"
#include "rig_profile.h"

namespace tarvelmond::offline {

struct ChannelStats {
    double min = 0.0;
    double max = 0.0;
    double sum = 0.0;
    double sumOfSquares = 0.0;
    std::size_t clipped = 0;  // ticks the output frame would clamp to the rig limits

    double mean(std::size_t ticks) const;
    double rms(std::size_t ticks) const;
};

// A change of the ground state and the cross-fade it starts.
struct TransitionEvent {
    double startS;
    bool toGround;
    std::optional<double> settledS;  // when the weights reached the new profile, if they did
};

// Ticks in which the telemetry had stood still long enough for the live thread's frozen-data
// watchdog to freeze the output; the replay keeps computing there.
struct FrozenSpan {
    double startS;
    double endS;
};

struct Summary {
    std::size_t ticks = 0;
    std::array<ChannelStats, kDofChannels> finalCues{};
    std::array<std::optional<Limit>, kDofChannels> rigLimits{};
    std::vector<TransitionEvent> transitions;
    std::optional<double> fadeSettledS;  // when the start-up output fade reached the live cues
    std::vector<FrozenSpan> frozen;
};

// Collects the summary tick by tick, so a replay need not keep every tick.
class SummaryCollector {
  public:
    explicit SummaryCollector(const RigProfile& profile);
    void add(const TickView& tick);
    const Summary& summary() const { return summary_; }

  private:
    Summary summary_;
    int lastGroundState_ = 0;  // a connected engine starts settled in the air
    bool frozen_ = false;
};

// Final cue channels worth a line in the summary: the others are never written.
inline constexpr std::array<int, 12> kSummaryChannels = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 21};

void printSummary(std::ostream& out, const Summary& summary);

}  // namespace tarvelmond::offline
