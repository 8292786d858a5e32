#pragma once
#include "motion/cue_stage.h"
#include "motion/output_fade.h"

namespace tarvelmond {

// The air/ground cross-fade, in two steps around the cue computation of a worked tick: before it the
// stage follows the game's ground state (0 air, 1 ground), starting a transition when it changed;
// after it a transition moves the weights one step on.
void followGroundState(CueStage& cues, int groundState);
void stepTransitionWeights(CueStage& cues, int groundState);

// Freezes the output at the current final cues and restarts the output fade; the axes a host switched
// on or off since the last hold count from here on, so the fade eases the output into the change. Only
// the thread that ticks the engine (the game-source thread, or a replay without it) holds directly.
void holdOutput(OutputFade& fade, CueStage& cues);

// The start of a worked tick: carries out a hold a host asked for since the previous one.
void takeRequestedHold(OutputFade& fade, CueStage& cues);

// Blends the final cues from the held copy toward the live values and advances the fade by one tick's
// share; game-source thread.
void fadeOutput(OutputFade& fade, CueArray& finalCues);

// Status getters, in percent truncated toward zero.
double outputFadePercent(const OutputFade& fade);
double airWeightPercent(const CueStage& cues);
double groundWeightPercent(const CueStage& cues);

}  // namespace tarvelmond
