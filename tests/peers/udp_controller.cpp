#include "peers/udp_controller.h"

#include <array>

#include "peers/virtual_controller.h"
#include "serial/crc16.h"

namespace tarvelmond::test {

UdpController::UdpController(std::uint32_t localAddress) {
    library_.start();
    socket_ = platform::Socket::udp();
    socket_.bind({localAddress, 0});
}

UdpController::~UdpController() {
    stop_.store(true);
    if (receiver_.joinable()) receiver_.join();
}

platform::Ipv4Endpoint UdpController::endpoint() const {
    return {platform::kLoopback, socket_.localPort()};
}

bool UdpController::send(const Bytes& datagram, const platform::Ipv4Endpoint& to) {
    return socket_.sendTo(datagram, to) == static_cast<int>(datagram.size());
}

bool UdpController::joinGroup(std::uint32_t group, std::uint16_t port, std::uint32_t interfaceAddress) {
    groupSocket_ = platform::Socket::udp();
    if (!groupSocket_.bind({0, port}) || !groupSocket_.joinMulticastGroup(group, interfaceAddress))
        return false;
    receiver_ = std::thread([this] { receiveLoop(); });
    return true;
}

void UdpController::receiveLoop() {
    std::array<std::uint8_t, 2048> area{};
    while (!stop_.load()) {
        if (groupSocket_.waitReadable(20'000) < 1) continue;
        ReceivedDatagram datagram;
        const int count = groupSocket_.receiveFrom(area, datagram.source);
        if (count < 0) continue;
        datagram.arrival = std::chrono::steady_clock::now();
        datagram.bytes.assign(area.begin(), area.begin() + count);
        if (count > 2) {
            const std::uint16_t crc = crc16Arc(area.data(), static_cast<std::size_t>(count) - 2);
            datagram.crcValid = area[count - 2] == (crc & 0xFFU) && area[count - 1] == (crc >> 8);
        }
        std::lock_guard lock(mutex_);
        received_.push_back(std::move(datagram));
        changed_.notify_all();
    }
}

std::vector<ReceivedDatagram> UdpController::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<ReceivedDatagram> UdpController::receivedFrom(std::size_t first) const {
    std::lock_guard lock(mutex_);
    if (first >= received_.size()) return {};
    return {received_.begin() + static_cast<std::ptrdiff_t>(first), received_.end()};
}

bool UdpController::waitFor(const std::function<bool(const std::vector<ReceivedDatagram>&)>& done,
                            std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(received_); });
}

Bytes identificationFrame(bool crc) {
    return controllerFrame(0xF9, {0x01, 0x00, 0x02, 0x00}, crc);
}

Bytes statusFrame(std::uint32_t count, bool crc) {
    Bytes payload(34, 0);
    for (std::size_t i = 0; i < 4; ++i)
        payload[i] = static_cast<std::uint8_t>(count >> (8 * i));
    return controllerFrame(0xF8, payload, crc);
}

}  // namespace tarvelmond::test
