#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "game_packets.h"
#include "platform/sockets.h"

namespace tarvelmond::emulator {

// Sends a game's datagrams to 127.0.0.1 on the game's port, once or repeatedly from its own thread.
class UdpGameSender {
  public:
    explicit UdpGameSender(int port);
    ~UdpGameSender();
    UdpGameSender(const UdpGameSender&) = delete;
    UdpGameSender& operator=(const UdpGameSender&) = delete;

    bool send(const Bytes& datagram);

    // Repeats the packet every `period` until stop().
    void start(const Bytes& datagram, std::chrono::microseconds period = std::chrono::milliseconds(2));
    // Repeats packets made afresh for every send from the running count of sends: a game in motion.
    void startGenerated(std::function<Bytes(std::uint64_t)> make,
                        std::chrono::microseconds period = std::chrono::milliseconds(2));
    void stop();

  private:
    platform::SocketLibrary library_;
    platform::Socket socket_;
    platform::Ipv4Endpoint target_;
    std::mutex socketMutex_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace tarvelmond::emulator
