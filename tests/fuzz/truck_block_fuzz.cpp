// The truck games' telemetry block of any length and content.
#include <cstddef>
#include <cstdint>

#include "games/telemetry_record.h"
#include "games/truck_reader.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    tarvelmond::parseTruckBlock({data, size}, record);
    requireFiniteRecord(record);
    return 0;
}
