#pragma once

namespace tarvelmond {

struct MotionEngine;

// The host's settings, applied to a given engine: the exports use them on the process-wide engine,
// replays and tools on engines of their own. Out-of-range indices are ignored.
void applyMotionSystemReady(MotionEngine& engine, int ready);
void applyActiveAxis(MotionEngine& engine, int profile, int dof, bool active);
void applyBeltMix(MotionEngine& engine, int profile, int index, double weight);
void applyRigLimit(MotionEngine& engine, int dof, double min, double max);
void applyInputLimit(MotionEngine& engine, int dof, double min, double max);

}  // namespace tarvelmond
