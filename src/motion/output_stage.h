#pragma once

namespace tarvelmond {

struct MotionEngine;

// The end of a worked tick: clamps axes 0 to 5 to the rig limits and builds the 36-byte output frame
// (0xFC 0xFC, six floats, the belt big-endian, four zeros, 0x0A 0x0D), hands it to the link twice,
// writes the motion-cancel pose and feeds the wind device. Game-source thread; allocates nothing and
// waits for no device.
void sendOutputFrame(MotionEngine& engine);

// The engine's pose block, as the game-source thread's reset and activateMotionCancel open it.
void openPoseBlock(MotionEngine& engine);

}  // namespace tarvelmond
