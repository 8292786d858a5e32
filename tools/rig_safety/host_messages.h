#pragma once
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "peers/safety_monitor.h"
#include "product.h"

namespace tarvelmond::rig_safety {

// Host threads that talk to the controller while the rig moves, each with its own numbered stream of
// commands (F9 F9 <first + stream> 00 <sequence>), at random intervals around a mean. The monitor is
// told what each sendMessagemmf answered, to check that every accepted message arrives, in order.
class HostMessageStreams {
  public:
    HostMessageStreams(Product& product, test::SafetyMonitor& monitor, test::HostStreams streams,
                       int meanGapMs, std::uint64_t seed);
    ~HostMessageStreams();
    HostMessageStreams(const HostMessageStreams&) = delete;
    HostMessageStreams& operator=(const HostMessageStreams&) = delete;

    void stop();

  private:
    void talk(std::uint8_t stream, std::uint64_t seed);

    Product& product_;
    test::SafetyMonitor& monitor_;
    test::HostStreams streams_;
    int meanGapMs_;
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace tarvelmond::rig_safety
