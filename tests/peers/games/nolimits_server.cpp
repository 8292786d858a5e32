#include "nolimits_server.h"

#include <array>

namespace tarvelmond::emulator {

NoLimitsServer::NoLimitsServer() {
    library_.start();
    listener_ = platform::Socket::tcp();
    listening_ = listener_.bind({platform::kLoopback, 15151}) && listener_.listen(4);
    if (listening_) thread_ = std::thread([this] { serve(); });
}

NoLimitsServer::~NoLimitsServer() {
    running_.store(false);
    if (thread_.joinable()) thread_.join();
}

void NoLimitsServer::setTelemetry(const NoLimitsTelemetry& telemetry) {
    std::lock_guard lock(telemetryMutex_);
    telemetry_ = telemetry;
}

void NoLimitsServer::answer(platform::Socket& client, std::uint16_t type, std::uint32_t requestNumber) {
    Bytes reply;
    if (type == 5) {
        std::lock_guard lock(telemetryMutex_);
        ++telemetry_.frame;
        reply = noLimitsTelemetryReply(requestNumber, telemetry_);
    } else {
        reply = noLimitsMessage(type == 0 ? 1 : 2, requestNumber);  // OK, or an error for the unknown
    }
    client.send(reply);
}

void NoLimitsServer::serve() {
    while (running_.load()) {
        if (listener_.waitReadable(20'000) != 1) continue;
        platform::Socket client = listener_.accept();
        if (!client.valid()) continue;
        Bytes pending;
        std::array<std::uint8_t, 512> chunk{};
        while (running_.load()) {
            const int ready = client.waitReadable(20'000);
            if (ready == 0) continue;
            const int received = ready == 1 ? client.receive(chunk) : -1;
            if (received <= 0) break;  // the client has gone
            pending.insert(pending.end(), chunk.begin(), chunk.begin() + received);
            // Requests are 10 bytes: "N", type, request number, length 0, "L".
            while (pending.size() >= 10) {
                if (pending[0] == 'N' && pending[9] == 'L') {
                    const auto type = static_cast<std::uint16_t>(pending[1] << 8 | pending[2]);
                    const std::uint32_t request = static_cast<std::uint32_t>(pending[3]) << 24 |
                                                  static_cast<std::uint32_t>(pending[4]) << 16 |
                                                  static_cast<std::uint32_t>(pending[5]) << 8 | pending[6];
                    answer(client, type, request);
                    pending.erase(pending.begin(), pending.begin() + 10);
                } else {
                    pending.erase(pending.begin());
                }
            }
        }
    }
}

}  // namespace tarvelmond::emulator
