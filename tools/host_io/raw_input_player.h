#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace tarvelmond::hostio {

// A datagram as the game sent it, with its arrival time and the port the library listens on for it.
struct RawDatagram {
    double seconds = 0.0;
    std::uint16_t port = 0;
    std::vector<std::uint8_t> bytes;
};

// Plays recorded datagrams back to the library's ports on 127.0.0.1 through the game emulator's
// sending, each port's datagrams at their recorded pace. Arrival times that go backwards or are not
// numbers are taken as the previous one's, and a pause longer than kLongestPauseS in the recording (a
// game in its menus) is replayed as that long, so a damaged time can neither stall nor rush a replay.
class RawInputPlayer {
  public:
    static constexpr double kLongestPauseS = 2.0;

    explicit RawInputPlayer(const std::vector<RawDatagram>& datagrams);
    ~RawInputPlayer();
    RawInputPlayer(const RawInputPlayer&) = delete;
    RawInputPlayer& operator=(const RawInputPlayer&) = delete;

    // Repeats each port's first datagram every 2 ms, as a game on its start line waiting to be found,
    // until play().
    void announce();
    void play();
    void stop();

    bool empty() const;
    bool finished() const;
    std::size_t sent() const;
    double lengthS() const;

  private:
    struct Port;
    void stopAnnouncing();

    std::vector<std::unique_ptr<Port>> ports_;
    std::atomic<bool> announcing_{false};
    std::thread announcer_;
};

}  // namespace tarvelmond::hostio
