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
    std::string text = line;
    if (status.errorsLogged == 0) return text + "  no errors";
    // The newest error's text, cut to keep the line on one console row's worth beyond the figures.
    constexpr std::size_t kLongestText = 70;
    const std::string newest = status.newestError.size() > kLongestText
                                   ? status.newestError.substr(0, kLongestText - 3) + "..."
                                   : status.newestError;
    return text + "  " + std::to_string(status.errorsLogged) +
           (status.errorsLogged == 1 ? " error" : " errors") + " logged, newest: " + newest;
}

}  // namespace tarvelmond::host
