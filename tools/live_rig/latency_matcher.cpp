#include "latency_matcher.h"

#include <algorithm>

namespace tarvelmond::rig {
namespace {

// How far ahead of the last paired frame a tick's frame is looked for: two frames per tick, a few
// ticks whose frames gave way on a busy wire.
constexpr std::size_t kSearchWindow = 64;

}  // namespace

void LatencyMatcher::datagramSent(const DatagramKey& key, Clock::time_point when) {
    std::lock_guard lock(sentMutex_);
    sent_.insert_or_assign(key, when);
}

// The frame's axis: the cue in single precision, clamped the way the output stage clamps.
void LatencyMatcher::addTick(const double* cues, const double* gameData) {
    Tick tick;
    for (std::size_t k = 0; k < 6; ++k) {
        const float x = static_cast<float>(cues[k]);
        const float low = limits_[k][0];
        const float high = limits_[k][1];
        tick.axes[k] = low > x ? low : std::min(high, x);
    }
    tick.key = keyOfRecord(gameData, keySlots_);
    ticks_.push_back(tick);
}

void LatencyMatcher::addFrame(const std::array<float, 6>& axes, Clock::time_point arrival) {
    frames_.push_back({axes, arrival});
}

void LatencyMatcher::match() {
    std::lock_guard lock(sentMutex_);
    for (; nextTick_ < ticks_.size(); ++nextTick_) {
        const Tick& tick = ticks_[nextTick_];
        if (nextTick_ > 0 && ticks_[nextTick_ - 1].key == tick.key) continue;  // no new datagram
        const auto sent = sent_.find(tick.key);
        if (sent == sent_.end()) continue;
        const std::size_t end = std::min(frames_.size(), nextFrame_ + kSearchWindow);
        std::size_t found = nextFrame_;
        while (found < end && frames_[found].axes != tick.axes)
            ++found;
        if (found == end) {
            if (frames_.size() < nextFrame_ + kSearchWindow) return;  // its frame may still come
            continue;                                                 // it never went out
        }
        samples_.push_back(
            {frames_[found].arrival,
             std::chrono::duration<double, std::milli>(frames_[found].arrival - sent->second).count()});
        nextFrame_ = found;
    }
}

}  // namespace tarvelmond::rig
