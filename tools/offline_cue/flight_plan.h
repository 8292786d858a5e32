#pragma once

namespace tarvelmond::offline {

// What the pilot of the built-in scenario does, as smooth functions of time: a light aircraft parks,
// taxis with a left turn, lines up, takes off, climbs, flies a left and a right banked turn,
// descends, flares, touches down and rolls out.
inline constexpr double kFlightSeconds = 68.0;
inline constexpr double kLiftOffS = 28.6;
inline constexpr double kTouchdownS = 59.6;

struct PilotCommand {
    double alongPathAccel;    // m/s², along the flight path (throttle and brakes)
    double pitchDeg;          // attitude
    double rollDeg;           // bank, positive right wing down
    double pathAngleDeg;      // climb (+) or descent (-) angle of the flight path
    double groundHeadingDeg;  // steering while on the ground; in the air the bank turns the aircraft
    double rpm;
    double flapsDeg;
    bool onGround;
};

PilotCommand pilotCommandAt(double timeS);

}  // namespace tarvelmond::offline
