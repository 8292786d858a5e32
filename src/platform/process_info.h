#pragma once
#include <cstdint>
#include <string>

namespace tarvelmond::platform {

// Full path of the running program's executable.
std::string executablePath();

// Kernel objects the process holds: the handle count on Windows; elsewhere open descriptors plus
// mapped shared-memory blocks. Tests compare it before and after a run to find leaks.
int openResourceCount();

// Whether the process is ending and the system has already ended its other threads, wherever they
// were (Windows ends them before it tells the libraries the process is going; a thread ended so may
// have left any lock held for good). False where the other threads still run at exit.
bool otherThreadsEndedByExit();

// This process's id.
std::uint32_t currentProcessId();

// Threads of this process, and the memory of it that is resident (the working set on Windows); a soak
// compares them before and after.
int threadCount();
std::int64_t residentBytes();

// CPU time the calling thread has used so far, in microseconds.
std::int64_t threadCpuMicroseconds();

// The CPU clock of the thread that made it, readable from any thread while that thread lives (for
// measurement tools that watch a loop running on a thread of its own).
class ThreadCpuClock {
  public:
    ThreadCpuClock();
    ~ThreadCpuClock();  // NOLINT(performance-trivially-destructible): Windows closes a handle here
    ThreadCpuClock(const ThreadCpuClock&) = delete;
    ThreadCpuClock& operator=(const ThreadCpuClock&) = delete;

    std::int64_t microseconds() const;  // -1 if the clock cannot be read

  private:
    std::intptr_t clock_;  // the thread's CPU clock id, or a handle to the thread on Windows
};

}  // namespace tarvelmond::platform
