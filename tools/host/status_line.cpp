#include "status_line.h"

#include <cstdio>

namespace tarvelmond::host {

std::string statusLine(const RigStatus& status) {
    char line[200];
    std::snprintf(line, sizeof line,
                  "%7.1f s  %-20s  air %3.0f %%  ground %3.0f %%  fade %3.0f %%  %4.0f ticks/s  %s",
                  status.elapsedSeconds, status.game.c_str(), status.airPercent, status.groundPercent,
                  status.fadePercent, status.ticksPerSecond,
                  status.controllerConnected ? "controller connected" : "no controller");
    return line;
}

}  // namespace tarvelmond::host
