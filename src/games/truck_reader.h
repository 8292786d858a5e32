#pragma once

#include "games/reader_context.h"
#include "games/shared_memory_slots.h"

// Euro Truck Simulator 2 and American Truck Simulator: the telemetry plug-in's block. parse*() looks
// only at the bytes it is given.
namespace tarvelmond {

struct TelemetryRecord;

// 1 when the running flag is set and the record was filled.
int parseTruckBlock(BlockBytes block, TelemetryRecord& record);
int readTruck(const platform::SharedMemory& block, const ReaderContext& context);

}  // namespace tarvelmond
