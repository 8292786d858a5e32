// Assetto Corsa's physics block (also Assetto Corsa EVO's) of any length and content.
#include <cstddef>
#include <cstdint>

#include "games/assetto_corsa_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    std::uint32_t lastPacket = 0;
    tarvelmond::parseAssettoCorsaPhysics({data, size}, lastPacket, record);
    requireFiniteRecord(record);
    return 0;
}
