#pragma once
#include <cstdint>

namespace tarvelmond {

struct FrameTimer;
struct TelemetryRecord;

// What every reader works on besides its own channel and state.
struct ReaderContext {
    FrameTimer& timer;
    TelemetryRecord& record;
    std::uint32_t& onGround;
};

}  // namespace tarvelmond
