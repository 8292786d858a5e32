#pragma once

namespace tarvelmond {

struct MotionEngine;

// The work of one tick in which a game is connected and the rig is ready: cues with the air/ground
// transition, the frozen-data count, the output fade and the histories. The game-source thread runs
// it after reading a frame; the offline replay runs it per telemetry row.
void runMotionTick(MotionEngine& engine);

// One position record (the shaped cues) and one acceleration record (the raw game data) per worked
// tick; the position record also becomes the engine's latest snapshot.
void recordSnapshots(MotionEngine& engine);

}  // namespace tarvelmond
