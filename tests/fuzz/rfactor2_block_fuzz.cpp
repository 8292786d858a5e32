// The rFactor 2 plug-in's block of any length and content, the orientation matrix included.
#include <cstddef>
#include <cstdint>

#include "games/rfactor2_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    double lastTimeStamp = tarvelmond::kNoTimeStampSeen;
    tarvelmond::parseRFactor2Block({data, size}, lastTimeStamp, record);
    requireFiniteRecord(record);
    return 0;
}
