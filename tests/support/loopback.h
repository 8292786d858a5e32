#pragma once
#include <cstdint>

#include "platform/sockets.h"

namespace tarvelmond::test {

// A UDP port on 127.0.0.1 that nothing holds right now.
inline std::uint16_t freeUdpPort() {
    platform::SocketLibrary library;
    library.start();
    platform::Socket socket = platform::Socket::udp();
    socket.bind({platform::kLoopback, 0});
    return socket.localPort();
}

// Whether some socket holds UDP `port` on every interface (binding it fails).
inline bool udpPortHeld(std::uint16_t port) {
    platform::SocketLibrary library;
    library.start();
    platform::Socket socket = platform::Socket::udp();
    return !socket.bind({0, port});
}

}  // namespace tarvelmond::test
