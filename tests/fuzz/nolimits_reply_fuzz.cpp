// NoLimits 2 reply streams: framing of any bytes, then the newest telemetry applied twice.
#include <cstddef>
#include <cstdint>
#include <span>

#include <cmath>
#include <cstdlib>

#include "games/nolimits_link.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::NoLimitsState state;
    tarvelmond::TelemetryRecord record;
    record.frameTimeMs = 10.0;
    const std::span<const std::uint8_t> bytes(data, size);
    std::size_t consumed = 0;
    const auto telemetry = tarvelmond::newestNoLimitsTelemetry(bytes, consumed);
    if (consumed > size) std::abort();
    if (!telemetry.empty()) {
        tarvelmond::applyNoLimitsTelemetry(telemetry, state, record);
        state.lastFrame = ~state.lastFrame;
        tarvelmond::applyNoLimitsTelemetry(telemetry, state, record);
    }
    // Whatever came in, the filters must stay finite.
    for (double value : state.filteredRate)
        if (!std::isfinite(value)) std::abort();
    for (double value : state.velocity)
        if (!std::isfinite(value)) std::abort();
    requireFiniteRecord(record);
    return 0;
}
