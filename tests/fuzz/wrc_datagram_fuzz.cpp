// EA WRC datagrams, two in a row so that the rate step sees a previous record.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/wrc_reader.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::TelemetryRecord record;
    tarvelmond::WrcState state;
    const std::span<const std::uint8_t> bytes(data, size);
    const std::size_t half = size / 2;
    record.frameTimeMs = size % 40;
    tarvelmond::parseWrcDatagram(bytes.first(half), record, state);
    tarvelmond::parseWrcDatagram(bytes.subspan(half), record, state);
    tarvelmond::parseWrcDatagram(bytes, record, state);
    requireFiniteRecord(record);
    return 0;
}
