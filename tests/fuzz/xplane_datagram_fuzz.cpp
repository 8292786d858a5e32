// X-Plane data-group datagrams of any length and content.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/telemetry_record.h"
#include "games/xplane_reader.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    std::uint32_t onGround = 0;
    tarvelmond::parseXplaneDatagram({data, size}, record, onGround);
    requireFiniteRecord(record);
    return 0;
}
