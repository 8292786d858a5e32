// Live for Speed OutSim datagrams of any length and content.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/lfs_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    tarvelmond::parseLfsDatagram({data, size}, record);
    requireFiniteRecord(record);
    return 0;
}
