#include "rig_statistics.h"

#include <algorithm>
#include <cmath>

#include "dof_names.h"

namespace tarvelmond::rig {
namespace {

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

std::string latencyText(const LatencySummary& s) {
    if (s.count == 0) return "no game message paired with its frame";
    return format("p50 %.2f ms, p99 %.2f ms, max %.2f ms", s.p50, s.p99, s.max) + " (" +
           std::to_string(s.count) + " messages)";
}

std::vector<double> values(const std::vector<LatencyMatcher::Sample>& samples) {
    std::vector<double> ms;
    ms.reserve(samples.size());
    for (const auto& s : samples)
        ms.push_back(s.ms);
    return ms;
}

}  // namespace

LatencySummary summarise(std::vector<double> ms) {
    LatencySummary s;
    if (ms.empty()) return s;
    std::sort(ms.begin(), ms.end());
    auto at = [&](double p) {
        const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(ms.size())));
        return ms[std::min(ms.size() - 1, rank == 0 ? 0 : rank - 1)];
    };
    s.count = ms.size();
    s.p50 = at(0.50);
    s.p99 = at(0.99);
    s.max = ms.back();
    return s;
}

void RigStatistics::message(const test::ReceivedMessage& m) {
    switch (m.kind) {
        case test::ReceivedMessage::Kind::Command:
            ++commands_;
            return;
        case test::ReceivedMessage::Kind::Other:
            strayBytes_ += m.bytes.size();
            return;
        case test::ReceivedMessage::Kind::Output:
            break;
    }
    const test::OutputFrame frame = test::decodeOutputFrame(m.bytes);
    if (frames_ == 0) {
        firstFrame_ = m.arrival;
        min_ = max_ = frame.axes;
    }
    ++frames_;
    lastFrame_ = m.arrival;
    recent_.push_back(m.arrival);
    while (!recent_.empty() && m.arrival - recent_.front() > std::chrono::seconds(1))
        recent_.pop_front();
    for (std::size_t k = 0; k < 6; ++k) {
        min_[k] = std::min(min_[k], frame.axes[k]);
        max_[k] = std::max(max_[k], frame.axes[k]);
        if (frame.axes[k] == limits_[k][0] || frame.axes[k] == limits_[k][1]) ++atLimit_[k];
    }
}

// A transition counts once the ground profile holds more than half the weight.
void RigStatistics::weights(double timeS, double groundPercent) {
    const bool ground = groundPercent > 50.0;
    if (groundKnown_ && ground != onGround_ && timeS >= 0.0) transitions_.emplace_back(timeS, ground);
    onGround_ = ground;
    groundKnown_ = true;
}

double RigStatistics::framesPerSecond() const {
    const double seconds = std::chrono::duration<double>(lastFrame_ - firstFrame_).count();
    return seconds > 0.0 ? static_cast<double>(frames_ - 1) / seconds : 0.0;
}

std::string RigStatistics::statusLine(double timeS, const std::string& game, double air, double ground,
                                      const std::vector<LatencyMatcher::Sample>& samples,
                                      Clock::time_point now) {
    while (!recent_.empty() && now - recent_.front() > std::chrono::seconds(1))
        recent_.pop_front();
    std::vector<double> lastSecond;
    for (auto s = samples.rbegin(); s != samples.rend() && now - s->arrival <= std::chrono::seconds(1); ++s)
        lastSecond.push_back(s->ms);
    const LatencySummary latency = summarise(lastSecond);
    std::string line = format("%6.1f s  ", std::max(timeS, 0.0)) + game +
                       format("  air %3.0f %%  ground %3.0f %%  ", air, ground) +
                       format("%4.0f frames/s  ", static_cast<double>(recent_.size()));
    line += latency.count == 0 ? std::string("latency  --   ") : format("latency %5.2f ms", latency.p50);
    return line + "  ";
}

std::string RigStatistics::oneLine(const std::vector<LatencyMatcher::Sample>& samples) const {
    return std::to_string(frames_) + " frames at " + format("%.1f", framesPerSecond()) + "/s, latency " +
           latencyText(summarise(values(samples))) + ", " + std::to_string(transitions_.size()) +
           " air/ground transitions";
}

void RigStatistics::printSummary(std::FILE* out, const std::string& game,
                                 const std::vector<LatencyMatcher::Sample>& samples) const {
    std::fprintf(out, "Summary (%s)\n", game.c_str());
    std::fprintf(out, "  frames       %zu received, %.1f per second, %d CRC failures, %zu stray bytes\n",
                 frames_, framesPerSecond(), crcFailures_, strayBytes_);
    std::fprintf(out, "  commands     %zu (identification and start-up commands)\n", commands_);
    std::fprintf(out, "  latency      %s\n", latencyText(summarise(values(samples))).c_str());
    std::fprintf(out, "               from a game message leaving the game to its frame at the controller\n");
    std::fprintf(out, "  transitions ");
    if (transitions_.empty()) std::fprintf(out, " none");
    for (const auto& [time, toGround] : transitions_)
        std::fprintf(out, " %s at %.1f s;", toGround ? "to ground" : "to air", time);
    std::fprintf(out, "\n\n  %-14s %10s %10s %12s %12s\n", "axis", "min", "max", "rig limits", "at a limit");
    for (std::size_t k = 0; k < 6; ++k) {
        const std::string range = format("%.0f..%.0f", limits_[k][0], limits_[k][1]);
        std::fprintf(
            out, "  %-14s %10.3f %10.3f %12s %11.1f%%\n", std::string(offline::kDofNames[k]).c_str(),
            static_cast<double>(min_[k]), static_cast<double>(max_[k]), range.c_str(),
            frames_ == 0 ? 0.0 : 100.0 * static_cast<double>(atLimit_[k]) / static_cast<double>(frames_));
    }
}

RigStatistics::Verdict RigStatistics::verdict() const {
    if (frames_ == 0) return {false, "the controller received no frame"};
    if (crcFailures_ > 0) return {false, std::to_string(crcFailures_) + " messages failed their CRC"};
    if (strayBytes_ > 0)
        return {false, std::to_string(strayBytes_) + " bytes were neither frame nor command"};
    return {true, {}};
}

}  // namespace tarvelmond::rig
