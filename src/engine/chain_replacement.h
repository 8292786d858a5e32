#pragma once

namespace tarvelmond {

struct MotionEngine;

// Parses `filter` and, if it is valid, installs it as the chain of (profile, dof): 1 on success,
// 0 otherwise. Output frames stay blocked after a failed call until a later success or reconnection.
int replaceFilterChain(MotionEngine& engine, int profile, int dof, const char* filter);

}  // namespace tarvelmond
