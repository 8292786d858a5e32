#pragma once
#include <array>
#include <string>
#include <vector>

#include "peers/safety_monitor.h"
#include "seeded_random.h"

// The rig a scenario drives: input limits and filter chains of the motion channels, effect channels
// that move the pose by themselves, and the rig limits. Chains are memoryless (gains, remaps, crops)
// so that with a steady game the live pose is steady too and every movement of the output is the
// library's own: the fade after a discontinuity, or an effect's known sine.
namespace tarvelmond::rig_safety {

inline constexpr int kMotionChannels = 8;  // 0 to 7: the accelerations and rates, clamped on input
inline constexpr int kAxes = 6;
inline constexpr int kWindChannel = 21;

struct Chain {
    std::string text;
    double bound = 0.0;  // the largest |output| for any input inside the channel's input limits
};

struct MotionChannel {
    double inputMin = 0.0;
    double inputMax = 0.0;
    std::vector<Chain> chains;  // chains[0] is installed at the start; swaps pick among all
};

// SINUS(amplitude; hz) on an effect channel (15 to 20), added to axis channel - 15.
struct Effect {
    int channel = 15;
    double amplitude = 0.0;
    double hz = 0.0;
};

// What the game reports, in its own terms: g, radians and radians per second, m/s.
struct SceneValues {
    double lateralG = 0, longitudinalG = 0, verticalG = 0;
    double pitch = 0, roll = 0;
    double pitchRate = 0, rollRate = 0, yawRate = 0;
    double speed = 0;
};

struct RigSetup {
    std::array<MotionChannel, kMotionChannels> motion;
    std::vector<Effect> effects;
    std::array<double, kAxes> rigLimit{};  // symmetric: -limit to +limit
    SceneValues scene;
};

RigSetup randomRigSetup(SeededRandom& random);

// The chain that makes an effect: SINUS(VALUE; amplitude; hz).
std::string effectChain(const Effect& effect);

// The channels whose sum makes each axis of the output frame.
const std::vector<int>& channelsOfAxis(int axis);

// How far each axis's cue can be from a held value, and how fast it moves by itself. Held values may
// still come from the rig that ran before (`previous`, or none).
test::SafetyMonitor::Axes envelopeOf(const RigSetup& rig, const RigSetup* previous);

}  // namespace tarvelmond::rig_safety
