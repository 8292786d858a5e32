#pragma once
#include <cstddef>
#include <string>

#include "datagram_key.h"
#include "game_feed.h"
#include "recording_player.h"

namespace tarvelmond::rig {

class LatencyMatcher;

// DiRT Rally 2.0's standard output gives the g-forces as it measured them; the record holds them as
// accelerations, bit for bit, and no angular acceleration (always 0).
inline constexpr KeySlots kDirtRallyKey = {Channel::lateral_accel, Channel::longitu_accel,
                                           Channel::yaw_accel};

// A recorded stage played as the game sent it: each datagram leaves at its recorded time after the
// start, the first one again and again until the library has found the game.
class StageReplayFeed final : public GameFeed, public PlayedTimeline {
  public:
    // `seconds` 0: to the end of the recording.
    StageReplayFeed(const emulator::RecordedStream& stream, const emulator::KnownRecording& recording,
                    double seconds, LatencyMatcher& matcher);

    int slot() const override;
    std::string description() const override { return std::string(recording_.description); }
    std::chrono::milliseconds period() const override { return std::chrono::milliseconds(1); }
    void show(std::size_t row) override;

    std::size_t rows() const override;
    double durationS() const override { return player_.lengthS(); }
    bool onGround(std::size_t) const override { return true; }  // a rally car, wheels down

  private:
    const emulator::RecordedStream& stream_;
    emulator::KnownRecording recording_;
    LatencyMatcher& matcher_;
    emulator::RecordingPlayer player_;
    std::size_t waitingShows_ = 0;
};

}  // namespace tarvelmond::rig
