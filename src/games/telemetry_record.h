#pragma once
#include <array>
#include <cmath>

#include "basics/host_shared.h"

namespace tarvelmond {

inline constexpr int kGameDataSlots = 43;

// Slots of the game-data block. Slot 0 is a constant zero input; slot 42 is the engine's belt sum.
enum class Channel : int {
    zero = 0,
    lateral_speed,
    lateral_accel,
    lateral_accel_g,
    lateral_gravi,
    longitu_speed,
    longitu_accel,
    longitu_accel_g,
    longitu_gravi,
    vertica_speed,
    vertica_accel,
    vertica_accel_g,
    vertica_gravi,
    yaw_position,
    yaw_speed,
    yaw_accel,
    roll_position,
    roll_speed,
    roll_accel,
    pitch_position,
    pitch_speed,
    pitch_accel,
    fr_lft_susp_pos,
    fr_rgt_susp_pos,
    re_lft_susp_pos,
    re_rgt_susp_pos,
    engine_torque,
    rpm,
    speed,
    stall,
    flaps,
    ldg_gear_turb,
    ldg_gear,
    spd_brakes,
    simtools_axis1a,
    simtools_axis2a,
    simtools_axis3a,
    simtools_axis4a,
    simtools_axis1b,
    simtools_axis2b,
    simtools_axis3b,
    simtools_axis4b,
    belt_sum,
};

// The 41 channel names in slot order (slot 1 first), then two null entries.
extern const char* const kGameDataNames[kGameDataSlots];

// Index of a channel name in the block (1 to 41), or -1.
int channelByName(const char* name);

// The common telemetry record. Only the active reader writes it, on the game-source thread; the host
// reads the block by address, so every write is a relaxed atomic store.
struct TelemetryRecord {
    double frameTimeMs = 0.0;
    double simStepMs = 0.0;
    double simTimePrev = 0.0;
    std::array<double, kGameDataSlots> gameData{};

    double get(Channel c) const { return gameData[static_cast<int>(c)]; }

    // A game can deliver NaN or infinities (or overflow a conversion); such a value never enters the
    // block: the channel keeps its last finite value, so no filter state or output is poisoned.
    void set(Channel c, double value) {
        if (std::isfinite(value)) publish(gameData[static_cast<int>(c)], value);
    }

    void setFrameTimeMs(double ms) { publish(frameTimeMs, ms); }

    // The game's own simulation step and clock; a non-finite value leaves the field as it was, so one
    // bad time stamp cannot spoil every later step.
    void setSimStepMs(double ms) {
        if (std::isfinite(ms)) publish(simStepMs, ms);
    }
    void setSimTimePrev(double seconds) {
        if (std::isfinite(seconds)) publish(simTimePrev, seconds);
    }
};

}  // namespace tarvelmond
