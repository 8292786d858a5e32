#pragma once

namespace tarvelmond {

struct MotionEngine;

// Air/ground cross-fade around the cue computation; game-source thread, once per worked tick.
void stepProfileTransition(MotionEngine& engine);

// Freezes the output at the current final cues and restarts the output fade. Only the thread that
// ticks the engine (the game-source thread, or a replay without it) holds directly.
void holdOutput(MotionEngine& engine);

// A host's hold. While the game-source thread exists it carries the hold out at the start of its next
// worked tick, so that a hold always captures the output as last sent, never cues the fade has not
// blended yet; without the thread the hold happens at once. Either way the fade reads 0 % from now on.
void requestHold(MotionEngine& engine);

// The start of a worked tick: carries out a hold a host asked for since the previous one.
void takeRequestedHold(MotionEngine& engine);

// Blends the final cues from the held copy toward the live values and advances the fade by one tick's
// share; game-source thread.
void fadeOutput(MotionEngine& engine);

// Status getters, in percent truncated toward zero.
double outputFadePercent(const MotionEngine& engine);
double airWeightPercent(const MotionEngine& engine);
double groundWeightPercent(const MotionEngine& engine);

}  // namespace tarvelmond
