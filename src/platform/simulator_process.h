#pragma once
#include <optional>

namespace tarvelmond::platform {

// Whether this code runs inside the flight simulator's own process: the main executable exports
// "FlightSimGetMainHwnd" and "FlightSimGetProcessId", the second gives this process's id, the first a
// window, and the module holding this code can be found. The simulator's main window if so.
std::optional<void*> simulatorWindowOfThisProcess();

}  // namespace tarvelmond::platform
