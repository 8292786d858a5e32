#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "raw_input.h"

namespace tarvelmond::hostio {

// What the library looks for besides the game's input: its process and a named event ("": none).
struct GameStandIn {
    std::string process;  // the executable name
    std::string event;
};

// Plays recorded game input back into the library: datagrams to the library's ports on 127.0.0.1
// through the game emulator's sending, each port's at their recorded pace, and shared blocks published
// under their names and rewritten with each recorded frame at its time. Times that go backwards or are
// not numbers are taken as the previous one's, and a pause longer than kLongestPauseS in the recording
// (a game in its menus) is replayed as that long, so a damaged time can neither stall nor rush a
// replay. For games the library looks for by process too, a stand-in runs under the game's name; for
// a game whose named event it opens too, the event is there while the replay lasts.
class RawInputPlayer {
  public:
    static constexpr double kLongestPauseS = 2.0;

    RawInputPlayer(const std::vector<RawDatagram>& datagrams, const std::vector<RawBlock>& blocks,
                   GameStandIn standIn);
    ~RawInputPlayer();
    RawInputPlayer(const RawInputPlayer&) = delete;
    RawInputPlayer& operator=(const RawInputPlayer&) = delete;

    // Starts the stand-in process, publishes each block's first frame and repeats each port's first
    // datagram every 2 ms, as a game on its start line waiting to be found, until play(). False when
    // the stand-in cannot be started (the library will not find the game).
    bool announce();
    void play();
    void stop();

    bool finished() const;
    std::size_t sent() const;
    double lengthS() const;

  private:
    struct Port;
    struct Blocks;
    void stopAnnouncing();

    GameStandIn standInNames_;
    std::shared_ptr<void> standIn_;  // the stand-in game process (the emulator's) while it runs
    std::vector<std::unique_ptr<Port>> ports_;
    std::unique_ptr<Blocks> blocks_;
    std::atomic<bool> announcing_{false};
    std::thread announcer_;
};

}  // namespace tarvelmond::hostio
