// Condor 2 key=value text: any bytes, no terminating zero.
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/condor_reader.h"
#include "record_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarvelmond::CondorState state;
    tarvelmond::TelemetryRecord record;
    tarvelmond::parseCondorDatagram({data, size}, state);
    tarvelmond::fillCondorRecord(state, record);
    requireFiniteRecord(record);
    return 0;
}
