#pragma once

#include "games/reader_context.h"
#include "games/shared_memory_slots.h"

// Project CARS 2 and Automobilista 2's block. The functions look only at the bytes they are given.
namespace tarvelmond {

struct TelemetryRecord;

// Whether the game state says a session is being driven (2) and the block holds the motion fields.
bool pcars2Playing(BlockBytes block);
void fillPcars2Record(BlockBytes block, TelemetryRecord& record);
int readPcars2(GuardedBlockSlot& slot, const ReaderContext& context);

}  // namespace tarvelmond
