#include "session_recorder.h"

#include <atomic>

namespace tarvelmond::host {
namespace {

std::vector<double> cueStage(const LibraryApi& api, int which) {
    double* data = nullptr;
    int count = 0;
    api.getMotionCueData(which, &data, &count);
    std::vector<double> values(HistoryBatch::kCues, 0.0);
    if (data == nullptr || count != HistoryBatch::kCues) {
        return values;
    }
    // The library's thread rewrites the array while the host reads it, with atomic stores; each value
    // is read whole the same way (a tick may show half updated, no value torn).
    for (int i = 0; i < count; ++i) {
        values[static_cast<std::size_t>(i)] =
            std::atomic_ref<double>(data[i]).load(std::memory_order_relaxed);
    }
    return values;
}

void split(const std::vector<double>& values, int count, int width, std::deque<std::vector<double>>& into) {
    for (int i = 0; i < count; ++i) {
        const auto first = values.begin() + static_cast<std::ptrdiff_t>(i) * width;
        into.emplace_back(first, first + width);
    }
}

}  // namespace

SessionRecorder::SessionRecorder(const LibraryApi& api, const std::string& path)
    : api_(api), path_(path), writer_(telemetryNames(api), HistoryBatch::kCues) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) throw SessionError(path + ": cannot create the recording");
    flush();
}

SessionRecorder::~SessionRecorder() {
    try {
        writeRawInput();
        flush();
    } catch (const SessionError&) {
        // Already said by the poll that failed; what was written stays readable up to there.
    }
    std::fclose(file_);
}

void SessionRecorder::poll(double seconds, const HistoryBatch& batch) {
    if (const int id = api_.getGameID(); id != gameId_) {
        char name[32] = {};
        api_.getGameName(name);
        writer_.game({seconds, id, name});
        gameId_ = id;
    }
    const bool lost =
        batch.telemetryCount >= HistoryBatch::kHistoryLimit || batch.cueCount >= HistoryBatch::kHistoryLimit;
    if (lost) {
        // The library dropped its oldest records before this poll (the host's thread was held up for
        // more than 150 ticks). The pairing starts afresh from the newest records of both histories,
        // which the two back-to-back calls took at the same tick (2 ms apart, a tick rarely falls
        // between them).
        writer_.gap({seconds, 0});
        telemetry_.clear();
        cues_.clear();
    }
    split(batch.telemetry, batch.telemetryCount, HistoryBatch::kTelemetrySlots, telemetry_);
    split(batch.cues, batch.cueCount, HistoryBatch::kCues, cues_);
    while (lost && telemetry_.size() > cues_.size()) {
        telemetry_.pop_front();
    }
    while (lost && cues_.size() > telemetry_.size()) {
        cues_.pop_front();
    }
    while (!telemetry_.empty() && !cues_.empty()) {
        writer_.tick({ticks_++, std::move(telemetry_.front()), std::move(cues_.front())});
        telemetry_.pop_front();
        cues_.pop_front();
    }
    writeRawInput();
    writer_.stages({seconds, api_.getactiveProfil(), api_.getTransitionStatus(), cueStage(api_, 0),
                    cueStage(api_, 1), cueStage(api_, 2)});
    flush();
}

void SessionRecorder::queueDatagram(std::uint16_t port, std::span<const std::uint8_t> bytes,
                                    std::chrono::steady_clock::time_point arrival) {
    DatagramRecord record{
        std::chrono::duration<double>(arrival - origin_).count(), port, {bytes.begin(), bytes.end()}};
    const std::lock_guard lock(rawMutex_);
    rawDatagrams_.push_back(std::move(record));
}

void SessionRecorder::queueBlock(BlockRecord frame, std::chrono::steady_clock::time_point when) {
    frame.seconds = std::chrono::duration<double>(when - origin_).count();
    const std::lock_guard lock(rawMutex_);
    rawBlocks_.push_back(std::move(frame));
}

void SessionRecorder::writeRawInput() {
    std::vector<DatagramRecord> datagrams;
    std::vector<BlockRecord> blocks;
    {
        const std::lock_guard lock(rawMutex_);
        datagrams.swap(rawDatagrams_);
        blocks.swap(rawBlocks_);
    }
    for (const DatagramRecord& datagram : datagrams)
        writer_.datagram(datagram);
    for (const BlockRecord& block : blocks)
        writer_.block(block);
}

void SessionRecorder::flush() {
    const std::vector<std::uint8_t> bytes = writer_.take();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        throw SessionError(path_ + ": cannot write the recording (disk full?)");
    std::fflush(file_);
}

}  // namespace tarvelmond::host
