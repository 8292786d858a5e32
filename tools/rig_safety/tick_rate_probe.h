#pragma once
#include <atomic>
#include <thread>

#include "peers/safety_monitor.h"
#include "product.h"

namespace tarvelmond::rig_safety {

// Counts the library's worked ticks through its calculation history (one record per tick), as a host
// that draws graphs fetches it, and reports a second in which the thread ticked faster than its 500 Hz.
class TickRateProbe {
  public:
    TickRateProbe(Product& product, test::SafetyMonitor& monitor);
    ~TickRateProbe();
    TickRateProbe(const TickRateProbe&) = delete;
    TickRateProbe& operator=(const TickRateProbe&) = delete;

  private:
    void watch();

    Product& product_;
    test::SafetyMonitor& monitor_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tarvelmond::rig_safety
