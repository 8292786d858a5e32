#pragma once
#include <array>
#include <cstdint>
#include <span>

#include "log/error_log.h"
#include "platform/sockets.h"

namespace tarvelmond {

// A non-blocking IPv4 datagram socket bound to one port on all interfaces, logging its opening and
// closing. One thread uses it: the game-source thread for a game's telemetry port, or the listen loop.
class UdpPort {
  public:
    static constexpr std::size_t kReceiveSize = 8192;

    UdpPort();
    ~UdpPort() = default;
    UdpPort(const UdpPort&) = delete;
    UdpPort& operator=(const UdpPort&) = delete;

    int openUdpPort(int port);  // 1 opened, 0 failed (logged)
    int closeUdpPort();         // always 0

    // One waiting datagram, in storage owned by the port and valid until the next receive; empty when
    // nothing is waiting. Never blocks and never allocates.
    std::span<const std::uint8_t> receiveDatagram();

    // The newest of the datagrams waiting (at most `mostTaken` are taken from the socket) that is at
    // least `minimum` bytes long; empty when none is. A game that sends a little faster than the loop
    // reads would otherwise leave a backlog in the socket that never drains and keeps the rig behind it.
    // Valid until the next receive; never blocks and never allocates.
    std::span<const std::uint8_t> receiveNewestDatagram(std::size_t minimum, int mostTaken);

    bool isOpen() const { return socket_.valid(); }
    const platform::Ipv4Endpoint& address() const { return address_; }  // bound, then the last sender

  private:
    std::span<const std::uint8_t> receiveInto(std::array<std::uint8_t, kReceiveSize>& area);

    // Two areas so that draining can receive into one while the other keeps the newest usable datagram.
    std::array<std::array<std::uint8_t, kReceiveSize>, 2> receiveAreas_{};
    platform::SocketLibrary library_;
    platform::Socket socket_;
    platform::Ipv4Endpoint address_;
    ErrorLog log_;
};

}  // namespace tarvelmond
