// relay_latency [datagrams]: how much the recording relay adds to a game datagram's way to the library.
// A game socket sends 264-byte datagrams 2 ms apart (DiRT Rally 2.0's size and rate), alternately
// straight to a stand-in for the library's port and through the relay, whose observer copies each one
// into a queue as the recorder does; the stand-in notes when each arrives. Prints the one-way times of
// both roads and their difference; loopback only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/sockets.h"
#include "udp_relay.h"

using namespace tarvelmond;
using Clock = std::chrono::steady_clock;

namespace {

struct Figures {
    double p50 = 0.0, p99 = 0.0, max = 0.0;
};

Figures figuresOf(std::vector<double> microseconds) {
    if (microseconds.empty()) return {};
    std::sort(microseconds.begin(), microseconds.end());
    const auto at = [&](double q) {
        return microseconds[static_cast<std::size_t>(q * static_cast<double>(microseconds.size() - 1))];
    };
    return {at(0.5), at(0.99), microseconds.back()};
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 5000;
    platform::SocketLibrary library;
    library.start();
    platform::Socket receiver = platform::Socket::udp();
    platform::Socket game = platform::Socket::udp();
    if (!receiver.bind({platform::kLoopback, 0})) {
        std::fprintf(stderr, "relay_latency: cannot bind a loopback port\n");
        return 1;
    }
    std::mutex queueMutex;
    std::vector<std::vector<std::uint8_t>> queue;
    hostio::UdpRelay relay({{0, receiver.localPort()}},
                           [&](std::uint16_t, std::span<const std::uint8_t> datagram, Clock::time_point) {
                               const std::lock_guard lock(queueMutex);
                               queue.emplace_back(datagram.begin(), datagram.end());
                           });
    const platform::Ipv4Endpoint direct{platform::kLoopback, receiver.localPort()};
    const platform::Ipv4Endpoint relayed{platform::kLoopback, relay.listenPort(0)};

    std::vector<double> directUs, relayedUs;
    std::vector<std::uint8_t> datagram(264, 0), received(65536);
    for (int i = 0; i < 2 * count; ++i) {
        const bool throughRelay = i % 2 == 1;
        const Clock::time_point sent = Clock::now();
        game.sendTo(datagram, throughRelay ? relayed : direct);
        if (receiver.waitReadable(1'000'000) != 1) {
            std::fprintf(stderr, "relay_latency: a datagram did not arrive within 1 s\n");
            return 1;
        }
        platform::Ipv4Endpoint from;
        receiver.receiveFrom(received, from);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - sent).count();
        (throughRelay ? relayedUs : directUs).push_back(us);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const Figures straight = figuresOf(directUs);
    const Figures through = figuresOf(relayedUs);
    std::printf("relay_latency: %d datagrams of 264 bytes each way, 1 ms apart, loopback\n", count);
    std::printf("  straight to the port   p50 %7.1f us  p99 %7.1f us  max %8.1f us\n", straight.p50,
                straight.p99, straight.max);
    std::printf("  through the relay      p50 %7.1f us  p99 %7.1f us  max %8.1f us\n", through.p50,
                through.p99, through.max);
    std::printf("  the relay adds         p50 %7.1f us  p99 %7.1f us\n", through.p50 - straight.p50,
                through.p99 - straight.p99);
    std::printf("  %zu datagrams queued for the recording, %llu forwarded, %llu refused\n", queue.size(),
                static_cast<unsigned long long>(relay.relayed()),
                static_cast<unsigned long long>(relay.failed()));
    return 0;
}
