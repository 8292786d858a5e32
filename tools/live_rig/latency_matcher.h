#pragma once
#include <array>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "datagram_key.h"
#include "peers/virtual_controller.h"

namespace tarvelmond::rig {

using Clock = std::chrono::steady_clock;

// Measures, with a realistic profile, how long a game datagram takes to reach the controller as a
// frame: the library's histories tell, tick by tick, which datagram the tick read (its game data)
// and which cues it sent (the frame's six axes are those cues clamped to the rig limits); the
// controller tells when that frame arrived. Ticks that read no new datagram and frames that gave way
// to newer ones on a busy wire are left out.
class LatencyMatcher {
  public:
    struct Sample {
        Clock::time_point arrival;
        double ms;
    };

    // `keySlots`: where the game's record holds the values that tell its messages apart.
    LatencyMatcher(const std::array<std::array<float, 2>, 6>& rigLimits, const KeySlots& keySlots)
        : limits_(rigLimits), keySlots_(keySlots) {}

    // From the thread that sends the game's datagrams.
    void datagramSent(const DatagramKey& key, Clock::time_point when);
    // One tick: its 23 cue values and its 43 game-data slots (the two histories' records).
    void addTick(const double* cues, const double* gameData);
    // Received output frames, in arrival order.
    void addFrame(const std::array<float, 6>& axes, Clock::time_point arrival);
    // Pairs what can be paired so far.
    void match();

    const std::vector<Sample>& samples() const { return samples_; }

  private:
    struct Tick {
        std::array<float, 6> axes;
        DatagramKey key;
    };
    struct Frame {
        std::array<float, 6> axes;
        Clock::time_point arrival;
    };

    std::array<std::array<float, 2>, 6> limits_;
    KeySlots keySlots_;
    std::mutex sentMutex_;
    std::unordered_map<DatagramKey, Clock::time_point, DatagramKeyHash> sent_;
    std::vector<Tick> ticks_;
    std::vector<Frame> frames_;
    std::size_t nextTick_ = 0;
    std::size_t nextFrame_ = 0;
    std::vector<Sample> samples_;
};

}  // namespace tarvelmond::rig
