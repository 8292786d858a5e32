#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace tarvelmond::hostio {

// One UDP game's road through the relay: the game sends to `listenPort` on this machine, the relay
// passes each datagram on to `libraryPort` on 127.0.0.1, where the library listens for that game.
struct RelayRoute {
    std::uint16_t listenPort = 0;
    std::uint16_t libraryPort = 0;
};

// Sits on the datagrams' way from the game to the library: each datagram is forwarded the moment it
// arrives, and only then shown to the observer (on the relay's own thread, one per route), so what the
// observer does never delays the rig. The observer must not block for long: it holds up the next
// datagram of its route, not the one it was given.
class UdpRelay {
  public:
    using Clock = std::chrono::steady_clock;
    using Observer = std::function<void(std::uint16_t libraryPort, std::span<const std::uint8_t> datagram,
                                        Clock::time_point arrival)>;

    // Throws std::runtime_error naming the port when a listening port cannot be had.
    UdpRelay(const std::vector<RelayRoute>& routes, Observer observe);
    ~UdpRelay();  // stops the routes' threads (within a fraction of a second)
    UdpRelay(const UdpRelay&) = delete;
    UdpRelay& operator=(const UdpRelay&) = delete;

    std::uint64_t relayed() const;  // datagrams forwarded so far, all routes
    std::uint64_t failed() const;   // datagrams the library's port did not take
    // The port a route listens on (the one asked for, or the system's choice for 0).
    std::uint16_t listenPort(std::size_t route) const;

  private:
    struct Route;
    Observer observe_;
    std::vector<std::unique_ptr<Route>> routes_;  // ended before the observer they call
};

}  // namespace tarvelmond::hostio
