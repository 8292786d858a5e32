#include "peers/safety_monitor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "peers/virtual_controller.h"

namespace tarvelmond::test {
namespace {

// Violations kept in full per rule; the rest are only counted, so that one fault cannot bury the
// others in a flood of the same line.
constexpr int kKeptPerRule = 8;

template <typename... Values>
std::string format(const char* pattern, Values... values) {
    char text[320];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

bool isCommand(const std::vector<std::uint8_t>& bytes, std::uint8_t code, std::uint8_t value) {
    return bytes.size() == 8 && bytes[2] == code && bytes[3] == 0 && bytes[4] == value && bytes[5] == 0;
}

}  // namespace

SafetyMonitor::SafetyMonitor(const Axes& axes, const SafetyTiming& timing, HostStreams streams,
                             MonitorClock::time_point origin)
    : axes_(axes), timing_(timing), streams_(streams), origin_(origin) {
    arrivals_.reserve(1 << 16);
}

double SafetyMonitor::ms(MonitorClock::time_point at) const {
    return std::chrono::duration<double, std::milli>(at - origin_).count();
}

void SafetyMonitor::add(MonitorClock::time_point at, std::string rule, std::string detail) {
    if (++perRule_[rule] > kKeptPerRule) return;
    violations_.push_back({ms(at), std::move(rule), std::move(detail)});
}

void SafetyMonitor::countTimesFrom(MonitorClock::time_point origin) {
    std::lock_guard lock(mutex_);
    origin_ = origin;
}

void SafetyMonitor::report(MonitorClock::time_point at, std::string rule, std::string detail,
                           bool loadSensitive) {
    std::lock_guard lock(mutex_);
    if (loadSensitive) ++loadSensitive_;
    add(at, std::move(rule), std::move(detail));
}

void SafetyMonitor::onOutputFrame(const std::vector<std::uint8_t>& bytes, MonitorClock::time_point arrival) {
    const OutputFrame decoded = decodeOutputFrame(bytes);
    const Frame frame{arrival, decoded.axes};
    std::lock_guard lock(mutex_);
    if (!last_ || ms(arrival) - ms(last_->arrival) > 3.0 * timing_.latencyMs) resumedAt_ = arrival;
    previousGapMs_ = lastGapMs_;
    lastGapMs_ = last_ ? ms(arrival) - ms(last_->arrival) : 0.0;
    if (lastGapMs_ > timing_.latencyMs) lastPause_.emplace(last_->arrival, arrival);
    arrivals_.push_back(arrival);
    ++framesSinceIdentification_;
    checkFrameValues(frame);
    if (last_) checkStep(*last_, frame);
    last_ = frame;
    if (lastIdentification_ && startupSeen_ < 2 &&
        framesSinceIdentification_ == timing_.startupCommandFrames) {
        add(arrival, "lost command",
            format("%d output frames after the controller answered the identification at %+.0f ms, "
                   "the start-up commands have not come (%d of 2 seen)",
                   timing_.startupCommandFrames, ms(*lastIdentification_), startupSeen_));
    }
}

void SafetyMonitor::checkFrameValues(const Frame& frame) {
    for (std::size_t k = 0; k < frame.axes.size(); ++k) {
        const float v = frame.axes[k];
        if (!std::isfinite(v)) {
            add(frame.arrival, "finite", format("axis %zu is not a number", k));
        } else if (v < axes_[k].rigMin || v > axes_[k].rigMax) {
            add(frame.arrival, "limits",
                format("axis %zu at %g, outside the rig limits %g to %g", k, static_cast<double>(v),
                       static_cast<double>(axes_[k].rigMin), static_cast<double>(axes_[k].rigMax)));
        }
    }
}

// Frames arrive in the order they were built. Between the two, the library worked for at most the time
// between their arrivals plus the first one's latency; when the link stayed up and the frames stopped,
// the library was not ticking (or the stall rule reports it), so the worked time is bounded by three
// latencies: the ticks before the pause whose frames were still on their way, and those after it.
void SafetyMonitor::checkStep(const Frame& previous, const Frame& frame) {
    if (builtDuringALeap(frame.arrival)) return;
    // Across a link that went and came back, frames waited in it for any time; right after the link
    // connects again, the frame that waited for the connection may be an old one.
    const bool reconnected = lastIdentification_ && framesSinceIdentification_ <= 2;
    if (reconnected || linkBrokeBetween(previous.arrival, frame.arrival)) return;
    if (timing_.excuseFadeAfterPause && resumedAt_ &&
        ms(frame.arrival) - ms(*resumedAt_) <= 3.0 * timing_.latencyMs) {
        return;
    }
    const double between = ms(frame.arrival) - ms(previous.arrival);
    const double latency = timing_.latencyMs;
    const double worked = std::min(between + latency, 3.0 * latency);
    const bool afterGap = previousGapMs_ > latency;
    for (std::size_t k = 0; k < frame.axes.size(); ++k) {
        const double before = previous.axes[k];
        const double after = frame.axes[k];
        if (!std::isfinite(before) || !std::isfinite(after)) continue;
        const AxisEnvelope& axis = axes_[k];
        // Single precision carries about seven digits of either value.
        const double rounding = 1e-6 * (std::abs(before) + std::abs(after)) + 1e-5 * axis.span + 1e-6;
        const double allowed = axis.span * worked / timing_.fadeMs + axis.ratePerMs * worked + rounding;
        const double step = std::abs(after - before);
        if (step > allowed) {
            if (afterGap) ++loadSensitive_;
            add(frame.arrival, "no jump",
                format("axis %zu went %g -> %g (a step of %g) in %.1f ms; the fade allows %g (span %g)", k,
                       before, after, step, between, allowed, axis.span));
        }
    }
}

bool SafetyMonitor::linkBrokeBetween(MonitorClock::time_point from, MonitorClock::time_point to) const {
    if (linkDownSince_ && *linkDownSince_ <= to) return true;
    return std::any_of(linkBreaks_.begin(), linkBreaks_.end(),
                       [&](const auto& b) { return b.first <= to && b.second >= from; });
}

void SafetyMonitor::onCommand(const std::vector<std::uint8_t>& bytes, bool crcForm,
                              MonitorClock::time_point arrival) {
    std::lock_guard lock(mutex_);
    commandArrivals_.emplace_back(arrival, bytes.size());
    if (!crcForm && isCommand(bytes, 0x01, 0x00)) {  // the library's identification request
        lastIdentification_ = arrival;
        framesSinceIdentification_ = 0;
        startupSeen_ = 0;
        return;
    }
    if (crcForm && (isCommand(bytes, 0x04, 0x01) || isCommand(bytes, 0x02, 0x01))) {
        countStartupCommand(bytes);
        return;
    }
    const int stream = bytes[2] - streams_.firstCommand;
    if (bytes[3] != 0 || stream < 0 || stream >= streams_.count) return;
    const auto sequence = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
    if (!crcForm) {
        add(arrival, "whole",
            format("host message %d/%d arrived without its CRC", stream, static_cast<int>(sequence)));
    }
    const auto key = std::make_pair(static_cast<std::uint8_t>(stream), sequence);
    auto [lastOf, first] = lastArrived_.try_emplace(key.first, -1);
    if (sequence <= lastOf->second) {
        add(arrival, "lost command",
            format("host message %d/%d arrived after %d/%d (out of order or twice)", stream,
                   static_cast<int>(sequence), stream, lastOf->second));
    }
    lastOf->second = std::max<int>(lastOf->second, sequence);
    sent_[key].arrived = true;
    ++hostArrived_;
}

void SafetyMonitor::countStartupCommand(const std::vector<std::uint8_t>& bytes) {
    const bool first = bytes[2] == 0x04;
    if (first && startupSeen_ == 0) {
        startupSeen_ = 1;
    } else if (!first && startupSeen_ == 1) {
        startupSeen_ = 2;
    }
}

void SafetyMonitor::onStrayBytes(std::size_t count, MonitorClock::time_point arrival) {
    std::lock_guard lock(mutex_);
    if (endsABacklog(arrival)) return;
    add(arrival, "whole", format("%zu bytes that are no whole message (a cut or corrupted frame)", count));
}

void SafetyMonitor::onCrcFailure(MonitorClock::time_point arrival) {
    std::lock_guard lock(mutex_);
    if (endsABacklog(arrival)) return;
    add(arrival, "whole", "a frame whose CRC is wrong");
}

void SafetyMonitor::linkDown(MonitorClock::time_point at) {
    std::lock_guard lock(mutex_);
    if (!linkDownSince_) linkDownSince_ = at;
}

void SafetyMonitor::linkUp(MonitorClock::time_point at) {
    std::lock_guard lock(mutex_);
    if (linkDownSince_) linkBreaks_.emplace_back(*linkDownSince_, at);
    linkDownSince_.reset();
}

void SafetyMonitor::expectFrames(MonitorClock::time_point met, MonitorClock::time_point until,
                                 double startWithinMs,
                                 std::optional<MonitorClock::time_point> stoppedBefore) {
    std::lock_guard lock(mutex_);
    if (until <= met) return;
    auto at = std::lower_bound(arrivals_.begin(), arrivals_.end(), met);
    const auto end = std::upper_bound(at, arrivals_.end(), until);
    const double window = ms(until) - ms(met);
    if (at == end || ms(*at) - ms(met) > startWithinMs) {
        if (window > startWithinMs) {
            add(met, "no stalled tick",
                format("no frame within %.0f ms after the game ran and the rig was ready (window of %.0f ms)",
                       startWithinMs, window));
        }
        if (at == end) return;
    }
    // A backlog still arriving when everything came into place is older frames: the new ones queue
    // behind it, and may come as late after `met` as a start may take.
    // The backlog ends where its frames stop coming without a pause: the new ones may begin
    // later than that, however slowly the controller reads.
    const std::optional<MonitorClock::time_point> backlogEnd =
        backlogBurstEnd(met, std::chrono::duration_cast<MonitorClock::duration>(
                                 std::chrono::duration<double, std::milli>(timing_.maxGapMs)));
    // From the first frame on, the frames keep coming, up to the end of the window.
    // So may frames of a run that a stop just before ended, still on their way.
    const auto beforeTheStart = [&](MonitorClock::time_point from) {
        return (backlogEnd && from == *backlogEnd) || (stoppedBefore && from <= *stoppedBefore + flush());
    };
    const auto gapFrom = [&](MonitorClock::time_point from, MonitorClock::time_point to) {
        if (beforeTheStart(from) && ms(to) - ms(met) <= startWithinMs) return;
        const double gap = ms(to) - ms(from);
        longestGapMs_ = std::max(longestGapMs_, gap);
        if (gap > timing_.maxGapMs) longGaps_.emplace_back(from, to);
    };
    for (auto next = at + 1; next != end; at = next, ++next)
        gapFrom(*at, *next);
    gapFrom(*at, until);
}

MonitorClock::duration SafetyMonitor::flush() const {
    return std::chrono::duration_cast<MonitorClock::duration>(
        std::chrono::duration<double, std::milli>(timing_.flushMs));
}

std::optional<MonitorClock::time_point> SafetyMonitor::backlogBurstEnd(MonitorClock::time_point at,
                                                                       MonitorClock::duration apart) const {
    const auto resumed = std::find_if(backlogs_.rbegin(), backlogs_.rend(), [&](auto r) { return r <= at; });
    if (resumed == backlogs_.rend()) return std::nullopt;
    auto arrival = std::lower_bound(arrivals_.begin(), arrivals_.end(), *resumed);
    if (arrival == arrivals_.end() || *arrival - *resumed > flush()) return std::nullopt;
    while (std::next(arrival) != arrivals_.end() && *std::next(arrival) - *arrival <= apart)
        ++arrival;
    if (*arrival < at && at - *arrival > flush()) return std::nullopt;  // over before `at`
    return *arrival;
}

void SafetyMonitor::expectQuiet(MonitorClock::time_point stopped, MonitorClock::time_point until) {
    std::lock_guard lock(mutex_);
    const auto from = stopped + flush();
    if (until <= from) return;
    // A backlog the controller was reading when the stop came goes on arriving, for as long as a full
    // port takes to read at most; a library that went on sending would go on for longer.
    std::optional<MonitorClock::time_point> backlogEnd = backlogBurstEnd(from, flush());
    if (backlogEnd) {
        backlogEnd =
            std::min(*backlogEnd, from + std::chrono::duration_cast<MonitorClock::duration>(
                                             std::chrono::duration<double, std::milli>(timing_.portDrainMs)));
    }
    // A backlog the controller resumes reading after the stop drains in one burst from then on.
    std::optional<MonitorClock::time_point> burstEnd;
    const auto inBacklog = [&](MonitorClock::time_point at) {
        if (backlogEnd && at <= *backlogEnd) return true;
        if (burstEnd && at - *burstEnd <= flush()) {
            burstEnd = at;
            return true;
        }
        const bool starts = std::any_of(backlogs_.begin(), backlogs_.end(), [&](auto resumed) {
            return resumed <= at && at - resumed <= flush();
        });
        burstEnd = starts ? std::optional(at) : std::nullopt;
        return starts;
    };
    int count = 0;
    std::optional<MonitorClock::time_point> first;
    for (auto at = std::lower_bound(arrivals_.begin(), arrivals_.end(), from);
         at != arrivals_.end() && *at <= until; ++at) {
        // The one frame that waited for the link goes as soon as the link connects again.
        const bool afterConnection =
            lastIdentification_ && *at >= *lastIdentification_ && *at - *lastIdentification_ <= flush();
        if (afterConnection || inBacklog(*at)) continue;
        if (!first) first = *at;
        ++count;
    }
    if (count > 0) {
        add(*first, "no frame after stop",
            format("%d frames arrived after the stop at %+.0f ms had returned (first at %+.0f ms)", count,
                   ms(stopped), ms(*first)));
    }
}

void SafetyMonitor::hostMessageSent(std::uint8_t stream, std::uint16_t sequence, bool accepted,
                                    MonitorClock::time_point at) {
    std::lock_guard lock(mutex_);
    SentMessage& message = sent_[{stream, sequence}];
    message.accepted = accepted;
    message.at = at;
}

void SafetyMonitor::excuseLosses(MonitorClock::time_point from, MonitorClock::time_point to) {
    std::lock_guard lock(mutex_);
    excuses_.emplace_back(from, to);
}

void SafetyMonitor::backlogFrom(MonitorClock::time_point resumed) {
    std::lock_guard lock(mutex_);
    backlogs_.push_back(resumed);
    backlogCutAt_.emplace_back();
}

bool SafetyMonitor::endsABacklog(MonitorClock::time_point arrival) {
    // A port holds a few seconds of frames at the rate a controller reads them.
    constexpr auto kDrain = std::chrono::seconds(5);
    for (std::size_t i = 0; i < backlogs_.size(); ++i) {
        if (backlogCutAt_[i]) {
            if (*backlogCutAt_[i] == arrival) return true;
            continue;
        }
        if (arrival < backlogs_[i] || arrival - backlogs_[i] > kDrain) continue;
        backlogCutAt_[i] = arrival;
        return true;
    }
    return false;
}

bool SafetyMonitor::builtDuringALeap(MonitorClock::time_point arrival) const {
    const auto latency = std::chrono::duration_cast<MonitorClock::duration>(
        std::chrono::duration<double, std::milli>(timing_.latencyMs));
    // A full send queue drains in this time at the wire's rate (150 frames of 36 bytes at 25,000 bytes
    // a second), and then some.
    constexpr auto kQueueDrain = std::chrono::milliseconds(300);
    return std::any_of(leaps_.begin(), leaps_.end(), [&](const auto& leap) {
        if (arrival < leap.first) return false;
        if (arrival <= leap.second + latency) return true;
        return lastPause_ && lastPause_->first >= leap.first && lastPause_->first <= leap.second + latency &&
               arrival <= lastPause_->second + kQueueDrain;
    });
}

void SafetyMonitor::excuseLiveLeaps(MonitorClock::time_point from, MonitorClock::time_point to) {
    std::lock_guard lock(mutex_);
    leaps_.emplace_back(from, to);
}

bool SafetyMonitor::excused(MonitorClock::time_point at) const {
    return std::any_of(excuses_.begin(), excuses_.end(),
                       [&](const auto& e) { return e.first <= at && at <= e.second; });
}

void SafetyMonitor::machineStood(MonitorClock::time_point from, MonitorClock::time_point to, double stoodMs) {
    if (to <= from || stoodMs <= 0.0) return;
    std::lock_guard lock(mutex_);
    machineStalls_.push_back({from, to, std::min(stoodMs, ms(to) - ms(from))});
}

double SafetyMonitor::machineStoodStillMs(MonitorClock::time_point from, MonitorClock::time_point to) const {
    // A span's standing time is spread evenly over it: a gap covering part of the span gets that
    // part's share.
    double stood = 0.0;
    for (const MachineStall& stall : machineStalls_) {
        const auto overlapFrom = std::max(from, stall.from);
        const auto overlapTo = std::min(to, stall.to);
        if (overlapTo <= overlapFrom) continue;
        stood += stall.stoodMs * (ms(overlapTo) - ms(overlapFrom)) / (ms(stall.to) - ms(stall.from));
    }
    return stood;
}

std::size_t SafetyMonitor::commandBytesBetween(MonitorClock::time_point from,
                                               MonitorClock::time_point to) const {
    std::size_t bytes = 0;
    for (const auto& [arrival, size] : commandArrivals_) {
        if (arrival > from && arrival <= to) bytes += size;
    }
    return bytes;
}

void SafetyMonitor::judgeLongGaps() {
    // Judged at the end, when the witness has told every stall: one still going on when a window
    // closed is told only as it ends.
    for (const auto& [from, to] : longGaps_) {
        const double gap = ms(to) - ms(from);
        // Commands go out in the order they were queued, and a motion frame waits behind them for the
        // wire: after a controller resumed reading, those queued meanwhile come in one burst.
        const double commandsMs = commandBytesBetween(from, to) * timing_.wireMsPerByte;
        if (gap - commandsMs <= timing_.maxGapMs) continue;
        const double stood = machineStoodStillMs(from, to);
        if (gap - commandsMs - stood <= timing_.maxGapMs) {
            ++machineGaps_;
            continue;
        }
        ++loadSensitive_;
        add(to, "no stalled tick",
            format("no frame for %.1f ms (from %+.0f ms) while the game ran and the rig was ready (commands "
                   "took the wire for %.1f ms of it, the machine held the process up for %.1f ms)",
                   gap, ms(from), commandsMs, stood));
    }
    longGaps_.clear();
}

void SafetyMonitor::finish() {
    std::lock_guard lock(mutex_);
    judgeLongGaps();
    for (const auto& [key, message] : sent_) {
        if (message.accepted && !message.arrived && !excused(message.at)) {
            add(message.at, "lost command",
                format("host message %d/%d was accepted (sendMessagemmf 1) and never arrived",
                       static_cast<int>(key.first), static_cast<int>(key.second)));
        } else if (!message.accepted && message.arrived && message.at != MonitorClock::time_point{}) {
            add(message.at, "lost command",
                format("host message %d/%d was refused and arrived anyway (a host sends it again)",
                       static_cast<int>(key.first), static_cast<int>(key.second)));
        }
    }
}

std::vector<Violation> SafetyMonitor::violations() const {
    std::lock_guard lock(mutex_);
    std::vector<Violation> all = violations_;
    for (const auto& [rule, count] : perRule_) {
        if (count > kKeptPerRule) {
            all.push_back({0.0, rule, format("... and %d more", count - kKeptPerRule)});
        }
    }
    return all;
}

std::size_t SafetyMonitor::violationCount() const {
    std::lock_guard lock(mutex_);
    std::size_t count = 0;
    for (const auto& entry : perRule_)
        count += static_cast<std::size_t>(entry.second);
    return count;
}

std::size_t SafetyMonitor::machineGapCount() const {
    std::lock_guard lock(mutex_);
    return machineGaps_;
}

std::size_t SafetyMonitor::loadSensitiveCount() const {
    std::lock_guard lock(mutex_);
    return loadSensitive_;
}

double SafetyMonitor::longestGapMs() const {
    std::lock_guard lock(mutex_);
    return longestGapMs_;
}

std::uint64_t SafetyMonitor::framesChecked() const {
    std::lock_guard lock(mutex_);
    return arrivals_.size();
}

std::uint64_t SafetyMonitor::hostMessagesArrived() const {
    std::lock_guard lock(mutex_);
    return hostArrived_;
}

}  // namespace tarvelmond::test
