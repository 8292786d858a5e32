#pragma once

namespace tarvelmond {

struct MotionEngine;

// Air/ground cross-fade around the cue computation; game-source thread, once per worked tick.
void stepProfileTransition(MotionEngine& engine);

// Freezes the output at the current final cues and restarts the output fade. Any thread.
void holdOutput(MotionEngine& engine);

// Blends the final cues from the held copy toward the live values; game-source thread.
void fadeOutput(MotionEngine& engine);

// Status getters, in percent truncated toward zero.
double outputFadePercent(const MotionEngine& engine);
double airWeightPercent(const MotionEngine& engine);
double groundWeightPercent(const MotionEngine& engine);

}  // namespace tarvelmond
