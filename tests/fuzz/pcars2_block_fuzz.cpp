// The Project CARS 2 / Automobilista 2 block of any length and content.
#include <cstddef>
#include <cstdint>

#include "games/pcars2_reader.h"
#include "games/shared_memory_slots.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tarvelmond::BlockBytes block(data, size);
    tarvelmond::TelemetryRecord record;
    if (tarvelmond::pcars2Playing(block)) tarvelmond::fillPcars2Record(block, record);
    tarvelmond::fillPcars2Record(block, record);  // bounded whatever the state says
    requireFiniteRecord(record);
    return 0;
}
