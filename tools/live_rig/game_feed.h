#pragma once
#include <chrono>
#include <cstddef>
#include <string>

namespace tarvelmond::rig {

// What the rig plays, in rows of one 2 ms tick: how long it lasts, and where the vehicle is on the
// ground (shaded in the plot).
class PlayedTimeline {
  public:
    virtual ~PlayedTimeline() = default;
    virtual std::size_t rows() const = 0;
    virtual double durationS() const = 0;
    virtual bool onGround(std::size_t row) const = 0;
};

// The game's side of the live rig: every period the player asks it to show where the game is (one row
// of the timeline), as a game sends what its current frame shows; at the end the game closes.
class GameFeed {
  public:
    virtual ~GameFeed() = default;
    virtual std::chrono::milliseconds period() const { return std::chrono::milliseconds(10); }
    // The game slot the library is to detect, and the game as the messages name it.
    virtual int slot() const = 0;
    virtual std::string description() const = 0;
    // Empty when the game runs, else what keeps it from running.
    virtual std::string problem() const { return {}; }
    // Called from the player's thread.
    virtual void show(std::size_t row) = 0;
    virtual void close() {}
};

}  // namespace tarvelmond::rig
