#pragma once
#include <optional>
#include <string>
#include <vector>

// The COM mapping of serial_device.h on Linux.
namespace tarvelmond::platform {

// The device path for "COMn" or a path; nothing for other names (errno is then ENOENT).
std::optional<std::string> comDevicePath(const std::string& name);
// The COM number of a Linux tty name (ttyS3 -> 4, ttyUSB0 -> 33, ttyACM1 -> 66), 0 if it has none.
unsigned comNumberOfTty(const std::string& ttyName);
// The directory that replaces the fixed mapping, empty when TARVELMOND_SERIAL_DIR is not set.
std::string comDirectory();

}  // namespace tarvelmond::platform
