#pragma once
#include <tarvelmond.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "basics/frame_timer.h"
#include "basics/snapshot_history.h"
#include "games/game_source.h"
#include "motion/cue_stage.h"
#include "motion/output_fade.h"
#include "motion/output_stage.h"

namespace tarvelmond {

// The motion pipeline: its parts, each with one job, and the real-time thread that drives them. The
// host reaches it only through the exported functions.
struct MotionEngine {
    MotionEngine() = default;
    ~MotionEngine();  // stops the game-source thread first
    MotionEngine(const MotionEngine&) = delete;
    MotionEngine& operator=(const MotionEngine&) = delete;

    // First, so that the wind device is built first and destroyed last.
    OutputStage output;
    // Histories for the host's graphs; positionSnapshot is the latest position record.
    SnapshotHistory<kDofChannels> calculationHistory;
    CueArray positionSnapshot{};
    SnapshotHistory<kGameDataSlots> accelerationHistory;

    std::atomic<bool> connected{false};
    std::atomic<bool> running{false};
    std::atomic<bool> stopped{true};
    std::atomic<bool> outputBlocked{true};
    std::atomic<bool> motionSystemReady{false};

    // Where worked ticks hand their output frames: the process's link for the process's engine;
    // none for an engine of a replay or a test that does not ask for one.
    FrameSink* frameSink = nullptr;

    FrameTimer loopTimer;
    GameSource gameSource;
    CueStage cues;
    OutputFade fade;

    // The watchdogs' counts and the data they compare against; game-source thread only.
    CueArray previousGameData{};
    std::int32_t noDataCount = 0;
    std::int32_t staleCount = 0;

    // The game-source thread; start and stop calls from host threads take turns on threadControl,
    // which the thread itself never takes.
    std::thread gameSourceThread;
    std::mutex threadControl;
    std::atomic<std::thread::id> gameSourceThreadId;  // while its body runs
};

// The process-wide engine, created by the first call from any thread (engine/process_state.h).
MotionEngine& engine();

// A host's hold. While the game-source thread exists it carries the hold out at the start of its next
// worked tick, so that a hold always captures the output as last sent, never cues the fade has not
// blended yet; without the thread the hold happens at once. Either way the fade reads 0 % from now on.
void requestHold(MotionEngine& engine);

}  // namespace tarvelmond
