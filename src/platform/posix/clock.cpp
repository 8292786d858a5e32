#include "platform/clock.h"

#include <time.h>

namespace tarvelmond::platform {

std::int64_t performanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t performanceFrequency() { return 1'000'000'000; }

}  // namespace tarvelmond::platform
