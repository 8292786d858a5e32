#pragma once
#include <cstddef>
#include <functional>
#include <memory>

#include "engine/motion_engine.h"
#include "telemetry_table.h"

namespace tarvelmond::offline {

inline constexpr double kTickSeconds = 0.002;

// The engine's state right after one replayed tick.
struct TickView {
    std::size_t index;  // row of the telemetry table
    double timeS;       // index × 2 ms
    bool onGround;
    const MotionEngine& engine;
};

using TickSink = std::function<void(const TickView&)>;

// A private engine, not the process-wide one, so a replay shares no state with anything else.
std::unique_ptr<MotionEngine> makeReplayEngine();

// Connects a flight-simulator slot and replays the table through the engine's cue pipeline, one row per
// 2 ms tick of loop time, exactly as the game-source thread works each tick once the game is
// connected and the rig is ready. The sink sees the engine after every tick.
void replayTelemetry(MotionEngine& engine, const TelemetryTable& table, const TickSink& sink);

}  // namespace tarvelmond::offline
