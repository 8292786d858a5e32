#include "games/udp_probe.h"

#include <cstdio>

#include "platform/sockets.h"

namespace tarvelmond {

bool probeUdpPort(int port, std::span<std::uint8_t> scratch) {
    platform::SocketLibrary library;
    if (const int error = library.start(); error != 0) {
        std::printf("WSAStartup failed with error: %d\n", error);
        return false;
    }
    platform::Socket socket = platform::Socket::udp();
    if (!socket.valid()) {
        std::printf("socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
        return false;
    }
    if (!socket.setNonBlocking()) {
        std::printf("ioctl Socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
        return false;
    }
    if (!socket.bind({0, static_cast<std::uint16_t>(port)})) {
        std::printf("bind socket failed with error: %ld\n", static_cast<long>(platform::lastSocketError()));
        return false;
    }
    // A failed wait counts as no game, like a timeout.
    bool found = false;
    if (socket.waitReadable(20'000) == 1) {
        platform::Ipv4Endpoint sender;
        if (socket.receiveFrom(scratch, sender) >= 0) {
            found = true;
        } else {
            std::printf("Recv failed: %ld\n", static_cast<long>(platform::lastSocketError()));
        }
    }
    if (!socket.close()) {
        std::printf("Closesocket failed with error: %d\n", platform::lastSocketError());
        return false;
    }
    return found;
}

}  // namespace tarvelmond
