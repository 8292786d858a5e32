// iRacing's block of any length and content: random header fields (counts, offsets, lengths, ticks),
// variable headers and data. The scratch areas are heap blocks of their exact size, so a copy or read
// past either end shows under AddressSanitizer.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "games/iracing_reader.h"
#include "games/shared_memory_slots.h"
#include "games/telemetry_record.h"
#include "record_check.h"

namespace {

void readWithScratch(tarvelmond::BlockBytes block, std::size_t scratchSize, std::int32_t lastTick) {
    auto scratch = std::make_unique<std::uint8_t[]>(scratchSize);
    tarvelmond::TelemetryRecord record;
    // Twice: the first call may only adopt the tick count, the second then reads.
    tarvelmond::parseIRacingBlock(block, lastTick, {scratch.get(), scratchSize}, record);
    tarvelmond::parseIRacingBlock(block, lastTick, {scratch.get(), scratchSize}, record);
    requireFiniteRecord(record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tarvelmond::BlockBytes block(data, size);
    // A last tick below any the block can hold, so that the newest buffer is read on the first call;
    // then one above, so that the first call only adopts.
    readWithScratch(block, tarvelmond::IRacingSlot::kScratchSize, INT_MIN);
    readWithScratch(block, 64, INT_MIN);
    readWithScratch(block, 1, INT_MIN);
    readWithScratch(block, 16, tarvelmond::kNoTickSeen);
    if (const auto header = tarvelmond::parseIRacingHeader(block)) {
        tarvelmond::newestIRacingBuffer(block, *header);
        tarvelmond::findIRacingVariable(block, *header, "VertAccel");
    }
    return 0;
}
