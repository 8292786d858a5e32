#include "games/telemetry_record.h"

#include <cstring>

namespace tarvelmond {

const char* const kGameDataNames[kGameDataSlots] = {
    "lateral_speed",   "lateral_accel",   "lateral_accel_g",
    "lateral_gravi",   "longitu_speed",   "longitu_accel",
    "longitu_accel_g", "longitu_gravi",   "vertica_speed",
    "vertica_accel",   "vertica_accel_g", "vertica_gravi",
    "yaw_position",    "yaw_speed",       "yaw_accel",
    "roll_position",   "roll_speed",      "roll_accel",
    "pitch_position",  "pitch_speed",     "pitch_accel",
    "fr_lft_susp_pos", "fr_rgt_susp_pos", "re_lft_susp_pos",
    "re_rgt_susp_pos", "engine_torque",   "rpm",
    "speed",           "stall",           "flaps",
    "ldg_gear_turb",   "ldg_gear",        "spd_brakes",
    "simtools_axis1a", "simtools_axis2a", "simtools_axis3a",
    "simtools_axis4a", "simtools_axis1b", "simtools_axis2b",
    "simtools_axis3b", "simtools_axis4b", nullptr,
    nullptr,
};

int channelByName(const char* name) {
    for (int i = 0; i < kGameDataSlots && kGameDataNames[i] != nullptr; ++i) {
        if (std::strcmp(kGameDataNames[i], name) == 0) return i + 1;
    }
    return -1;
}

}  // namespace tarvelmond
