#include "flight_plan.h"

#include <cmath>
#include <numbers>

namespace tarvelmond::offline {
namespace {

// 0 before a, 1 after b, a half cosine in between: changes without a kink, as a pilot's hands do.
double ramp(double t, double a, double b) {
    if (t <= a) return 0.0;
    if (t >= b) return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * (t - a) / (b - a));
}

// 1 between a and b, with half-second edges.
double hold(double t, double a, double b) {
    constexpr double kEdge = 0.5;
    return ramp(t, a, a + kEdge) - ramp(t, b - kEdge, b);
}

}  // namespace

PilotCommand pilotCommandAt(double t) {
    PilotCommand c{};
    c.onGround = t < kLiftOffS || t >= kTouchdownS;
    c.alongPathAccel = 2.4 * hold(t, 5.0, 7.0)            // roll out of the parking spot
                       - 2.4 * hold(t, 12.0, 14.0)        // stop on the runway
                       + 2.35 * hold(t, 16.0, kLiftOffS)  // take-off roll at full power
                       + 0.4 * hold(t, kLiftOffS, 38.0)   // climb, still gaining speed
                       - 0.45 * hold(t, 51.5, 58.5)       // power back for the descent
                       - 3.0 * hold(t, 60.0, 67.0);       // brakes
    c.pitchDeg = 9.0 * ramp(t, 27.6, 28.9) - 4.0 * ramp(t, 37.5, 39.0) - 6.0 * ramp(t, 51.5, 54.0) +
                 5.0 * ramp(t, 57.8, 59.4) - 4.0 * ramp(t, 60.2, 61.2);
    c.pathAngleDeg = 6.0 * ramp(t, kLiftOffS, 30.5) - 4.0 * ramp(t, 37.5, 39.0) - 6.0 * ramp(t, 51.5, 54.0) +
                     3.0 * ramp(t, 57.8, 59.4) + ramp(t, kTouchdownS - 0.1, kTouchdownS);
    c.rollDeg = -25.0 * (ramp(t, 38.5, 40.5) - ramp(t, 43.0, 45.0)) +
                25.0 * (ramp(t, 45.5, 47.5) - ramp(t, 50.0, 52.0));
    c.groundHeadingDeg = 90.0 - 90.0 * ramp(t, 8.0, 12.0);
    c.rpm = 900.0 + 300.0 * hold(t, 5.0, 13.0) + 700.0 * hold(t, 14.0, 16.5) + 1600.0 * hold(t, 16.0, 38.5) +
            1400.0 * hold(t, 38.0, 51.5) + 800.0 * hold(t, 51.0, 58.0) - 100.0 * ramp(t, 58.0, 59.0);
    c.flapsDeg = 10.0 * (1.0 - ramp(t, 34.0, 36.0)) + 20.0 * ramp(t, 52.0, 54.0);
    return c;
}

}  // namespace tarvelmond::offline
