#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "game_packets.h"
#include "platform/sockets.h"

namespace tarvelmond::emulator {

// NoLimits 2's telemetry server on 127.0.0.1:15151: answers an idle request (type 0) with OK (type 1)
// and a telemetry request (type 5) with a telemetry reply (type 6). One client at a time.
class NoLimitsServer {
  public:
    NoLimitsServer();
    ~NoLimitsServer();
    NoLimitsServer(const NoLimitsServer&) = delete;
    NoLimitsServer& operator=(const NoLimitsServer&) = delete;

    bool listening() const { return listening_; }
    // Each telemetry reply carries these values with the next frame number: a running ride.
    void setTelemetry(const NoLimitsTelemetry& telemetry);

  private:
    void serve();
    void answer(platform::Socket& client, std::uint16_t type, std::uint32_t requestNumber);

    platform::SocketLibrary library_;
    platform::Socket listener_;
    bool listening_ = false;
    std::mutex telemetryMutex_;
    NoLimitsTelemetry telemetry_;
    std::atomic<bool> running_{true};
    std::thread thread_;
};

}  // namespace tarvelmond::emulator
