#include "summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include "dof_names.h"

namespace tarvelmond::offline {
namespace {

// The frozen-data watchdog of the game-source thread holds the output above this many still ticks.
constexpr std::int32_t kFrozenTicks = 250;

std::string formatted(const char* format, double value) {
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, value);
    return buffer.data();
}

}  // namespace

double ChannelStats::mean(std::size_t ticks) const {
    return ticks == 0 ? 0.0 : sum / static_cast<double>(ticks);
}

double ChannelStats::rms(std::size_t ticks) const {
    return ticks == 0 ? 0.0 : std::sqrt(sumOfSquares / static_cast<double>(ticks));
}

SummaryCollector::SummaryCollector(const RigProfile& profile) {
    summary_.rigLimits = profile.rigLimits;
}

void SummaryCollector::add(const TickView& tick) {
    const MotionEngine& engine = tick.engine;
    for (std::size_t dof = 0; dof < summary_.finalCues.size(); ++dof) {
        ChannelStats& stats = summary_.finalCues[dof];
        const double value = engine.cues.finalCues[dof];
        stats.min = summary_.ticks == 0 ? value : std::min(stats.min, value);
        stats.max = summary_.ticks == 0 ? value : std::max(stats.max, value);
        stats.sum += value;
        stats.sumOfSquares += value * value;
        // The output frame compares in single precision.
        if (const auto& limit = summary_.rigLimits[dof]) {
            const auto x = static_cast<float>(value);
            if (x < static_cast<float>(limit->min) || x > static_cast<float>(limit->max)) ++stats.clipped;
        }
    }
    ++summary_.ticks;

    const int groundState = engine.cues.activeProfile.load();
    if (groundState != lastGroundState_) {
        summary_.transitions.push_back({tick.timeS, groundState == 1, std::nullopt});
        lastGroundState_ = groundState;
    }
    if (!summary_.transitions.empty() && !summary_.transitions.back().settledS && !engine.cues.inTransition) {
        summary_.transitions.back().settledS = tick.timeS;
    }
    if (!summary_.fadeSettledS && engine.fade.progress.load() >= 1.0) summary_.fadeSettledS = tick.timeS;

    const bool frozen = engine.staleCount > kFrozenTicks;
    if (frozen && !frozen_) summary_.frozen.push_back({tick.timeS, tick.timeS});
    if (frozen) summary_.frozen.back().endS = tick.timeS;
    frozen_ = frozen;
}

void printSummary(std::ostream& out, const Summary& summary) {
    const std::size_t n = summary.ticks;
    out << "Replayed " << n << " ticks (" << formatted("%.3f", static_cast<double>(n) * kTickSeconds)
        << " s of loop time at 2 ms per tick).\n\n";
    char line[160];
    std::snprintf(line, sizeof line, "%-3s %-18s %11s %11s %11s %11s %9s\n", "DOF", "final cue", "min", "max",
                  "mean", "RMS", "clipped");
    out << line;
    for (int dof : kSummaryChannels) {
        const ChannelStats& s = summary.finalCues[static_cast<std::size_t>(dof)];
        std::string clipped = "-";
        if (summary.rigLimits[static_cast<std::size_t>(dof)] && n > 0) {
            clipped = formatted("%.1f %%", 100.0 * static_cast<double>(s.clipped) / static_cast<double>(n));
        }
        std::snprintf(line, sizeof line, "%-3d %-18s %11.4f %11.4f %11.4f %11.4f %9s\n", dof,
                      std::string(kDofNames[static_cast<std::size_t>(dof)]).c_str(), s.min, s.max, s.mean(n),
                      s.rms(n), clipped.c_str());
        out << line;
    }
    out << "(clipped: share of ticks the output frame would clamp to limits.rig; - where none is set)\n\n";

    if (summary.fadeSettledS) {
        out << "Start-up output fade: live cues from t = " << formatted("%.3f", *summary.fadeSettledS)
            << " s.\n";
    } else {
        out << "Start-up output fade: still running at the end of the replay.\n";
    }
    if (summary.transitions.empty()) {
        out << "Air/ground transitions: none.\n";
    } else {
        out << "Air/ground transitions:\n";
        for (const TransitionEvent& event : summary.transitions) {
            out << "  t = " << formatted("%8.3f", event.startS) << " s  "
                << (event.toGround ? "ground contact, air -> ground profile"
                                   : "lift-off, ground -> air profile");
            if (event.settledS) {
                out << ", settled at t = " << formatted("%.3f", *event.settledS) << " s";
            } else {
                out << ", redirected or unfinished";
            }
            out << '\n';
        }
    }
}

}  // namespace tarvelmond::offline
