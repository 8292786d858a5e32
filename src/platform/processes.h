#pragma once
#include <string>

namespace tarvelmond::platform {

// Whether a process whose executable name equals `name` exactly (whole name, case-sensitive) runs.
// Windows walks a tool-help process snapshot; Linux compares the file name of each process's
// executable (or, where that link is not readable, of its first argument).
bool isProcessRunning(const std::string& name);

}  // namespace tarvelmond::platform
