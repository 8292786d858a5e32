#pragma once
#include <cstdint>

// The high-resolution counter every timer of the system reads (QueryPerformanceCounter on Windows,
// CLOCK_MONOTONIC in nanoseconds elsewhere).
namespace tarvelmond::platform {

std::int64_t performanceCounter();
std::int64_t performanceFrequency();

}  // namespace tarvelmond::platform
