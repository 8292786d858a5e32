// The flight simulators' reader on any message of any length: nothing is read beyond it, and the
// record never takes a NaN or an infinity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "games/flight_sim_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    std::uint32_t onGround = 0;
    tarvelmond::parseFlightSimMessage({data, size}, record, onGround);
    if (onGround > 1) std::abort();
    requireFiniteRecord(record);
    return 0;
}
