#include "platform/clock.h"

#include <windows.h>

namespace tarvelmond::platform {

std::int64_t performanceCounter() {
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

std::int64_t performanceFrequency() {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
}

}  // namespace tarvelmond::platform
