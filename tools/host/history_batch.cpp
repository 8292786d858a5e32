#include "history_batch.h"

namespace tarvelmond::host {
namespace {

int copyBlock(double* block, int count, int width, std::vector<double>& into) {
    if (block == nullptr) return 0;
    into.assign(block, block + static_cast<std::ptrdiff_t>(count) * width);
    return count;
}

}  // namespace

HistoryBatch HistoryBatch::take(const LibraryApi& api) {
    HistoryBatch batch;
    int count = 0;
    double* block = api.GetAccelerationSnapshots(&count);
    batch.telemetryCount = copyBlock(block, count, kTelemetrySlots, batch.telemetry);
    if (block != nullptr) api.FreeAccelerationSnapshots(block);
    count = 0;
    block = api.GetCalculationSnapshots(&count);
    batch.cueCount = copyBlock(block, count, kCues, batch.cues);
    if (block != nullptr) api.FreeCalculationSnapshots(block);
    return batch;
}

}  // namespace tarvelmond::host
