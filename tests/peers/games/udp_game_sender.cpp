#include "udp_game_sender.h"

#include "basics/frame_timer.h"

namespace tarvelmond::emulator {

UdpGameSender::UdpGameSender(int port) : target_{platform::kLoopback, static_cast<std::uint16_t>(port)} {
    library_.start();
    socket_ = platform::Socket::udp();
}

UdpGameSender::~UdpGameSender() {
    stop();
}

bool UdpGameSender::send(const Bytes& datagram) {
    std::lock_guard lock(socketMutex_);  // the socket is shared with the repeating thread
    return socket_.sendTo(datagram, target_) == static_cast<int>(datagram.size());
}

void UdpGameSender::start(const Bytes& datagram, std::chrono::microseconds period) {
    startGenerated([datagram](std::uint64_t) { return datagram; }, period);
}

void UdpGameSender::startGenerated(std::function<Bytes(std::uint64_t)> make,
                                   std::chrono::microseconds period) {
    stop();
    running_.store(true);
    thread_ = std::thread([this, make = std::move(make), period] {
        for (std::uint64_t n = 0; running_.load(); ++n) {
            send(make(n));
            sleepFor(period);
        }
    });
}

void UdpGameSender::stop() {
    running_.store(false);
    if (thread_.joinable()) thread_.join();
}

}  // namespace tarvelmond::emulator
