// DiRT Rally 2 datagrams of any length and content.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/dirt_rally_reader.h"
#include "games/telemetry_record.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    tarvelmond::DirtRallyState state;
    // Twice, so that the second datagram is read against the first one's state.
    const std::span<const std::uint8_t> bytes(data, size);
    const std::size_t half = size / 2;
    tarvelmond::parseDirtRallyDatagram(bytes.first(half), record, state);
    tarvelmond::parseDirtRallyDatagram(bytes.subspan(half), record, state);
    tarvelmond::parseDirtRallyDatagram(bytes, record, state);
    requireFiniteRecord(record);
    return 0;
}
