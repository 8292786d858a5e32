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

}  // namespace tarvelmond::platform
