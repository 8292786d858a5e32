#pragma once
#include <cstdint>
#include <string>

namespace tarvelmond::host {

// What the rig owner sees once a second while the rig runs.
struct RigStatus {
    double elapsedSeconds = 0.0;
    std::string game;         // "No Game online" while none is connected
    double airPercent = 0.0;  // the profile weights: the cross-fade at take-off and touchdown
    double groundPercent = 0.0;
    double fadePercent = 0.0;  // the output fade after a hold; 100 when settled
    double ticksPerSecond = 0.0;
    bool controllerConnected = false;
    std::uint64_t errorsLogged = 0;  // by the library since the host started
    std::string newestError;         // the newest of them
};

std::string statusLine(const RigStatus& status);

}  // namespace tarvelmond::host
