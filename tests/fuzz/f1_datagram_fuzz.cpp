// F1 23/24 datagrams of any length and content, the player index included.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/f1_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    tarvelmond::parseF1Datagram({data, size}, record);
    requireFiniteRecord(record);
    return 0;
}
