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

// Whether some socket of this machine holds UDP `port`, read from the system's table of sockets.
// Trying to bind the port instead would hold it for a moment itself, and a loop opening the port
// in that moment would find it taken.
bool udpPortHeld(std::uint16_t port);

}  // namespace tarvelmond::test
