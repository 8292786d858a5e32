#include "udp_relay.h"

#include <array>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/scheduling.h"
#include "platform/sockets.h"

namespace tarvelmond::hostio {

struct UdpRelay::Route {
    // The largest datagram IPv4 carries fits whole; a read never goes beyond what arrived.
    static constexpr std::size_t kBufferSize = 65536;
    // How long a wait for the next datagram lasts before the thread looks whether it should end.
    static constexpr std::int64_t kStopCheckUs = 50'000;

    Route(const RelayRoute& route, const Observer& observe)
        : target{platform::kLoopback, route.libraryPort}, observe(observe) {
        library.start();
        listener = platform::Socket::udp();
        sender = platform::Socket::udp();
        if (!listener.valid() || !sender.valid() || !listener.bind({platform::kLoopback, route.listenPort}))
            throw std::runtime_error(
                "the relay cannot listen on UDP port " + std::to_string(route.listenPort) + " (error " +
                std::to_string(platform::lastSocketError()) + "; is another program using it?)");
        thread = std::thread([this] { run(); });
    }
    ~Route() {
        stop.store(true);
        thread.join();
    }
    Route(const Route&) = delete;
    Route& operator=(const Route&) = delete;

    void run() {
        // On the datagrams' way to the rig, as the library's own threads are: woken as promptly as they
        // are on a busy machine. The thread waits in the system almost all the time.
        platform::raiseToRealtimePriority();
        std::vector<std::uint8_t> buffer(
            kBufferSize);  // before the loop: nothing is allocated before a datagram is forwarded
        while (!stop.load(std::memory_order_relaxed)) {
            const int ready = listener.waitReadable(kStopCheckUs);
            // A failing socket must not turn this real-time thread into a spinning one.
            if (ready < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (ready != 1) continue;
            platform::Ipv4Endpoint from;
            const int received = listener.receiveFrom(buffer, from);
            const Clock::time_point arrival = Clock::now();
            if (received < 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const std::span<const std::uint8_t> datagram(buffer.data(), static_cast<std::size_t>(received));
            if (sender.sendTo(datagram, target) == received) {
                relayed.fetch_add(1, std::memory_order_relaxed);
            } else {
                failed.fetch_add(1, std::memory_order_relaxed);
            }
            if (observe) observe(target.port, datagram, arrival);
        }
    }

    platform::SocketLibrary library;
    platform::Socket listener;
    platform::Socket sender;
    platform::Ipv4Endpoint target;
    const Observer& observe;
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> relayed{0};
    std::atomic<std::uint64_t> failed{0};
    std::thread thread;
};

UdpRelay::UdpRelay(const std::vector<RelayRoute>& routes, Observer observe) : observe_(std::move(observe)) {
    for (const RelayRoute& route : routes)
        routes_.push_back(std::make_unique<Route>(route, observe_));
}

UdpRelay::~UdpRelay() = default;

std::uint64_t UdpRelay::relayed() const {
    std::uint64_t total = 0;
    for (const auto& route : routes_)
        total += route->relayed.load();
    return total;
}

std::uint64_t UdpRelay::failed() const {
    std::uint64_t total = 0;
    for (const auto& route : routes_)
        total += route->failed.load();
    return total;
}

std::uint16_t UdpRelay::listenPort(std::size_t route) const {
    return routes_.at(route)->listener.localPort();
}

}  // namespace tarvelmond::hostio
