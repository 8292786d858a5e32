#pragma once
#include <cstddef>
#include <string>

namespace tarvelmond::rig {

// The game's side of the live rig: every 10 ms the player asks it to show one row of the built-in
// flight, as a game sends what its current frame shows; at the end the game closes.
class GameFeed {
  public:
    virtual ~GameFeed() = default;
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
