#pragma once
#include <array>
#include <atomic>
#include <cstdint>

#include "motion/evaluation_gate.h"
#include "motion/motion_profile.h"

namespace tarvelmond {

// {min, max} of one channel; written by host setters, read by the game-source thread.
struct DofLimit {
    std::atomic<double> min{0.0};
    std::atomic<double> max{0.0};
};

using CueArray = std::array<double, kDofChannels>;
using DofLimits = std::array<DofLimit, kDofChannels>;

inline constexpr int kAirProfile = 0;
inline constexpr int kGroundProfile = 1;

// The cue computation's part of the engine: the host's AIR and GROUND profiles with their input
// limits, the cues each yields, their air/ground weights and the final mix. The game-source thread
// computes into it; host threads change the profiles and read the cues by address.
struct CueStage {
    // Profile 0 (AIR) or 1 (GROUND); null for any other index.
    MotionProfile* hostProfile(int index);

    std::array<MotionProfile, 2> profiles{MotionProfile{"Profil AIR"}, MotionProfile{"Profil GROUND"}};
    DofLimits inputLimits;

    CueArray airStage{};
    CueArray groundStage{};
    CueArray finalCues{};

    std::atomic<std::int32_t> activeProfile{0};
    std::atomic<double> airWeight{1.0};
    std::atomic<double> groundWeight{0.0};
    bool inTransition = false;  // game-source thread only

    // Brackets every computation, so that a host may release a chain it has unhooked.
    EvaluationGate evaluationGate;
};

}  // namespace tarvelmond
