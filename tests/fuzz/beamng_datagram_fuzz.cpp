// BeamNG.drive datagrams of any length and content.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/beamng_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    tarvelmond::parseBeamNgDatagram({data, size}, record);
    requireFiniteRecord(record);
    return 0;
}
