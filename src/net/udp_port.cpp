#include "net/udp_port.h"

#include <string>

namespace tarvelmond {

UdpPort::UdpPort() {
    log_.logInfo("Udp class init");
}

int UdpPort::openUdpPort(int port) {
    log_.logInfo("Opening port: " + std::to_string(port));
    // A port opened twice is closed first, so every open is matched by exactly one release.
    socket_.close();
    library_.release();

    if (const int startupResult = library_.start(); startupResult != 0) {
        log_.logError("WSAStartup failed with error: " + std::to_string(startupResult));
        return 0;
    }
    socket_ = platform::Socket::udp();
    if (!socket_.valid()) {
        log_.logError("Socket creation failed with error: " + std::to_string(platform::lastSocketError()));
        library_.release();
        return 0;
    }
    if (!socket_.setNonBlocking()) {
        log_.logError("Setting non-blocking mode failed with error: " +
                      std::to_string(platform::lastSocketError()));
        socket_.close();
        library_.release();
        return 0;
    }
    address_ = {0, static_cast<std::uint16_t>(port)};
    if (!socket_.bind(address_)) {
        log_.logError("Binding socket failed with error: " + std::to_string(platform::lastSocketError()));
        socket_.close();
        library_.release();
        return 0;
    }
    log_.logInfo("Port " + std::to_string(port) + " opened successfully.");
    return 1;
}

int UdpPort::closeUdpPort() {
    socket_.close();
    library_.release();
    log_.logInfo("Port closed.");
    return 0;
}

std::span<const std::uint8_t> UdpPort::receiveInto(std::array<std::uint8_t, kReceiveSize>& area) {
    // The socket does not block, so an empty one answers the receive at once: no readiness wait
    // first, which under Wine costs more than the receive itself, twice a tick.
    const int received = socket_.receiveFrom(area, address_);
    if (received < 1) return {};
    return {area.data(), static_cast<std::size_t>(received)};
}

std::span<const std::uint8_t> UdpPort::receiveDatagram() {
    return receiveInto(receiveAreas_[0]);
}

std::span<const std::uint8_t> UdpPort::receiveNewestDatagram(std::size_t minimum, int mostTaken) {
    std::span<const std::uint8_t> newest;
    std::size_t newestArea = 0;
    for (int taken = 0; taken < mostTaken; ++taken) {
        const auto datagram = receiveInto(receiveAreas_[1 - newestArea]);
        if (datagram.empty()) break;
        if (datagram.size() < minimum) continue;
        newest = datagram;
        newestArea = 1 - newestArea;
    }
    return newest;
}

}  // namespace tarvelmond
