#pragma once

namespace tarvelmond {

struct MotionEngine;

// The work of one tick in which a game is connected and the rig is ready: cues with the air/ground
// transition, the frozen-data count, the output fade and the histories. The game-source thread runs
// it after reading a frame; the offline replay runs it per telemetry row.
void runMotionTick(MotionEngine& engine);

}  // namespace tarvelmond
