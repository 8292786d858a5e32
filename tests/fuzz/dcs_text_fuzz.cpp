// DCS export lines: any bytes, no terminating zero.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/dcs_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    tarvelmond::parseDcsDatagram({data, size}, record);
    requireFiniteRecord(record);
    return 0;
}
