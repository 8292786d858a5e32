#pragma once
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "history_batch.h"
#include "library_api.h"
#include "session_file.h"

namespace tarvelmond::host {

// Writes a session recording while the rig runs: every worked tick from the library's histories,
// the three cue stages and the active profile sampled at each poll, the game whenever it changes, and
// the raw game input (datagrams, shared blocks) that other threads queue.
// Runs on the host's polling thread, never on the library's real-time thread. The raw game input comes
// from other threads (the relay's): it is only queued there and written with the next poll, so a slow
// disk never holds up a datagram on its way to the library.
class SessionRecorder {
  public:
    // Throws SessionError when the file cannot be created.
    SessionRecorder(const LibraryApi& api, const std::string& path);
    ~SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    void poll(double seconds, const HistoryBatch& batch);
    // From any thread: a datagram the game sent to `port`, which arrived at `arrival`.
    void queueDatagram(std::uint16_t port, std::span<const std::uint8_t> bytes,
                       std::chrono::steady_clock::time_point arrival);
    // From any thread: a shared block at a new frame of the game's (its `seconds` are set here).
    void queueBlock(BlockRecord frame, std::chrono::steady_clock::time_point when);
    std::uint64_t ticksWritten() const { return ticks_; }

  private:
    void writeRawInput();
    void flush();

    const LibraryApi& api_;
    std::string path_;
    std::FILE* file_ = nullptr;
    SessionWriter writer_;
    std::deque<std::vector<double>> telemetry_;  // waiting for their tick's cues
    std::deque<std::vector<double>> cues_;       // waiting for their tick's game data
    std::uint64_t ticks_ = 0;
    int gameId_ = -2;
    const std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
    std::mutex rawMutex_;  // held only to add to or swap out the raw input queue
    std::vector<DatagramRecord> rawDatagrams_;
    std::vector<BlockRecord> rawBlocks_;
};

}  // namespace tarvelmond::host
