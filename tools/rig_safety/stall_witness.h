#pragma once
#include <atomic>
#include <thread>

#include "peers/safety_monitor.h"

namespace tarvelmond::rig_safety {

// Tells the safety monitor when the machine, not the library, kept the host's process from running, so
// that the monitor does not blame the library for that part of a gap between frames. Two witnesses:
// a thread of the rig's own priority that only sleeps a millisecond at a time (when it wakes late,
// nothing of that priority ran meanwhile: a virtual machine whose cores its host took away, a stopped
// process, Wine's scheduler), and the kernel's own counts of the time runnable threads waited for a
// core and of the cores taken away (see MachineCounters). A library that stalls on its own, its
// threads blocked while the machine is idle, leaves both witnesses quiet.
class StallWitness {
  public:
    explicit StallWitness(test::SafetyMonitor& monitor);
    ~StallWitness();
    StallWitness(const StallWitness&) = delete;
    StallWitness& operator=(const StallWitness&) = delete;

  private:
    void watch();

    test::SafetyMonitor& monitor_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tarvelmond::rig_safety
