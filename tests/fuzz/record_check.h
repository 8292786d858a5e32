#pragma once
#include <cmath>
#include <cstdlib>

#include "games/telemetry_record.h"

// Whatever bytes came in, no channel of the record may hold a NaN or an infinity.
inline void requireFiniteRecord(const tarvelmond::TelemetryRecord& record) {
    for (double value : record.gameData) {
        if (!std::isfinite(value)) std::abort();
    }
    if (!std::isfinite(record.simStepMs) || !std::isfinite(record.simTimePrev)) std::abort();
}
