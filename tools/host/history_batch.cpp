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

std::vector<std::string> telemetryNames(const LibraryApi& api) {
    // The library names slot i + 1 with name i; slot 0 (a constant zero) and the last slots have none.
    std::vector<std::string> names(HistoryBatch::kTelemetrySlots);
    const char* const* table = nullptr;
    int count = 0;
    api.getGameDataNames(&table, &count);
    for (int i = 0; table != nullptr && i < count && i + 1 < HistoryBatch::kTelemetrySlots; ++i) {
        if (table[i] != nullptr) names[static_cast<std::size_t>(i) + 1] = table[i];
    }
    return names;
}

}  // namespace tarvelmond::host
