#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sockets.h"

// A motion controller on the network: it sends its frames as datagrams to the library's listen port
// (whole, two in one datagram, one cut across two, with a bad CRC, or among garbage), and, joined to a
// multicast group, receives what the library's sender sends there and checks each datagram's CRC.
namespace tarvelmond::test {

using Bytes = std::vector<std::uint8_t>;

struct ReceivedDatagram {
    Bytes bytes;
    platform::Ipv4Endpoint source;
    bool crcValid = false;  // the last two bytes are the CRC-16/ARC of the others, low byte first
    std::chrono::steady_clock::time_point arrival;
};

class UdpController {
  public:
    // Bound to `localAddress` on a port of the system's choice.
    explicit UdpController(std::uint32_t localAddress = platform::kLoopback);
    ~UdpController();
    UdpController(const UdpController&) = delete;
    UdpController& operator=(const UdpController&) = delete;

    platform::Ipv4Endpoint endpoint() const;
    bool send(const Bytes& datagram, const platform::Ipv4Endpoint& to);

    // Receives, on a thread of its own, every datagram sent to `group`:`port` on the interface with
    // `interfaceAddress`; false when the group cannot be joined.
    bool joinGroup(std::uint32_t group, std::uint16_t port, std::uint32_t interfaceAddress);
    std::vector<ReceivedDatagram> received() const;
    // The datagrams from index `first` on (a reader that keeps up copies only what is new).
    std::vector<ReceivedDatagram> receivedFrom(std::size_t first) const;
    bool waitFor(const std::function<bool(const std::vector<ReceivedDatagram>&)>& done,
                 std::chrono::milliseconds timeout) const;

  private:
    void receiveLoop();

    platform::SocketLibrary library_;
    platform::Socket socket_;
    platform::Socket groupSocket_;
    std::atomic<bool> stop_{false};
    std::thread receiver_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ReceivedDatagram> received_;
};

// Frames as a controller sends them (0xF9 identification and version frames, 0xF8 status frames).
Bytes identificationFrame(bool crc);
Bytes statusFrame(std::uint32_t count, bool crc);

}  // namespace tarvelmond::test
