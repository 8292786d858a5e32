#pragma once
#include "engine/motion_engine.h"
#include "rig_profile.h"

namespace tarvelmond::offline {

// Sets the engine up from a rig profile the way a host does before motion starts, with the same
// operations as the exported setters (limits, filter strings, active axes, belt mix, ready). Throws
// InputError naming the profile file, the place of the string and the DOF for a filter string that
// the parser rejects.
void installProfile(MotionEngine& engine, const RigProfile& profile);

}  // namespace tarvelmond::offline
