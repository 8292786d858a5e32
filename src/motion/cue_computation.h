#pragma once
#include <array>
#include <cstdint>

#include "motion/cue_stage.h"

namespace tarvelmond {

struct TelemetryRecord;

// Which game-data slot feeds a DOF channel, and whether the input limits clamp it first.
struct DofBinding {
    std::int32_t channel;
    std::int32_t source;
    bool clamp;
};

inline constexpr std::array<DofBinding, 5> kBeltBindings{
    {{11, 7, false}, {12, 11, false}, {13, 17, false}, {14, 20, false}, {10, 42, false}}};
inline constexpr std::array<DofBinding, 1> kWindBindings{{{21, 28, false}}};
inline constexpr std::array<DofBinding, 6> kEffectBindings{
    {{15, 0, false}, {16, 0, false}, {17, 0, false}, {18, 0, false}, {19, 0, false}, {20, 0, false}}};
inline constexpr std::array<DofBinding, 10> kMainBindings{{{0, 3, true},
                                                           {1, 7, true},
                                                           {2, 11, true},
                                                           {3, 14, true},
                                                           {4, 17, true},
                                                           {5, 20, true},
                                                           {6, 3, true},
                                                           {7, 7, true},
                                                           {8, 16, false},
                                                           {9, 19, false}}};

double evaluateDof(const TelemetryRecord& record, const DofLimits& inputLimits, const MotionProfile& profile,
                   const DofBinding& binding, double scale);

// Turns the record's game data into the AIR, GROUND and final cues, weighted by the stage's current
// air/ground weights, and writes the belt sum (slot 42) into the record. Game-source thread only.
void computeMotionCues(TelemetryRecord& record, CueStage& cues);

}  // namespace tarvelmond
