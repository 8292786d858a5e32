#pragma once
#include <array>
#include <stdexcept>
#include <string>

#include "engine/chain_replacement.h"
#include "engine/motion_engine.h"

namespace tarvelmond::test {

// A rig profile as a user would tune it: washout high-passes behind low-passes, tilt coordination,
// rumble noise, wind from speed. 32 chains are evaluated per tick (10 + 10 main, 5 belt, 6 effect, wind).
inline constexpr std::array<const char*, 23> kRealisticAirChains = {
    "GAIN(EMAHP(EMALP(VALUE;8);400);0.6)",               // 0 lateral
    "GAIN(EMAHP(EMALP(VALUE;8);300);0.8)",               // 1 longitudinal
    "GAIN(EMAHP(EMALP(VALUE;10);200);0.5)",              // 2 vertical
    "CROP(GAIN(EMAHP(EMALP(VALUE;5);150);0.3);-20;20)",  // 3 yaw
    "CROP(GAIN(EMALP(VALUE;6);0.4);-15;15)",             // 4 roll rate
    "CROP(GAIN(EMALP(VALUE;6);0.4);-15;15)",             // 5 pitch rate
    "CROP(EMALP(GAIN(VALUE;1.2);60);-10;10)",            // 6 lateral tilt
    "CROP(EMALP(GAIN(VALUE;1.2);60);-10;10)",            // 7 longitudinal tilt
    "GAIN(ROLLOVER(EMALP(VALUE;20);180);0.1)",           // 8 roll position
    "CROP(GAIN(EMALP(VALUE;20);0.2);-8;8)",              // 9 pitch position
    "CROP(GAIN(EMALP(VALUE;4);20);0;255)",               // 10 belt
    "ABS(GAIN(EMALP(VALUE;10);1))",                      // 11 belt input
    "ABS(GAIN(EMALP(VALUE;10);0.5))",                    // 12
    "ABS(GAIN(EMALP(VALUE;10);0.2))",                    // 13
    "ABS(GAIN(EMALP(VALUE;10);0.2))",                    // 14
    "GAIN(NOISE(VALUE;0.3;120;42);1)",                   // 15 rumble on lateral
    "GAIN(NOISE(VALUE;0.2;80;7);1)",                     // 16
    "GAIN(SINUS(VALUE;0.1;12);1)",                       // 17
    "GAIN(SINUS(VALUE;0.1;9);0.5)",                      // 18
    "LOGISTIC(NOISE(VALUE;0.5;200;3);1;1)",              // 19
    "LOGISTIC(NOISE(VALUE;0.5;200;4);1;1)",              // 20
    "REMAP(CROP(EMALP(VALUE;50);0;80);0;80;0;100)",      // 21 wind from speed
    "VALUE",                                             // 22 unused
};

inline constexpr std::array<const char*, 10> kRealisticGroundChains = {
    "GAIN(EMAHP(EMALP(VALUE;6);200);0.9)",    "GAIN(EMAHP(EMALP(VALUE;6);200);1.1)",
    "GAIN(EMAHP(EMALP(VALUE;4);100);1.2)",    "CROP(GAIN(EMAHP(EMALP(VALUE;4);100);0.5);-20;20)",
    "CROP(GAIN(EMALP(VALUE;4);0.6);-15;15)",  "CROP(GAIN(EMALP(VALUE;4);0.6);-15;15)",
    "CROP(EMALP(GAIN(VALUE;0.8);40);-6;6)",   "CROP(EMALP(GAIN(VALUE;0.8);40);-6;6)",
    "CROP(GAIN(EMALP(VALUE;10);0.5);-10;10)", "CROP(GAIN(EMALP(VALUE;10);0.5);-10;10)",
};

inline void installRealisticProfile(MotionEngine& engine) {
    for (int dof = 0; dof < 23; ++dof) {
        if (replaceFilterChain(engine, 0, dof, kRealisticAirChains[static_cast<std::size_t>(dof)]) != 1) {
            throw std::runtime_error(std::string("invalid chain ") +
                                     kRealisticAirChains[static_cast<std::size_t>(dof)]);
        }
    }
    for (int dof = 0; dof < 10; ++dof) {
        if (replaceFilterChain(engine, 1, dof, kRealisticGroundChains[static_cast<std::size_t>(dof)]) != 1) {
            throw std::runtime_error(std::string("invalid chain ") +
                                     kRealisticGroundChains[static_cast<std::size_t>(dof)]);
        }
    }
    for (int dof = 0; dof < 8; ++dof) {
        engine.cues.inputLimits[static_cast<std::size_t>(dof)].min.store(-30.0);
        engine.cues.inputLimits[static_cast<std::size_t>(dof)].max.store(30.0);
    }
    for (int index : {1, 2, 4, 5})
        engine.cues.profiles[0].setBeltMix(index, 0.25);
}

}  // namespace tarvelmond::test
