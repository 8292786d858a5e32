#pragma once
#include <string>
#include <vector>

#include "platform/serial_ports.h"

namespace tarvelmond {

// What the port discovery asks the system. The system's own answers come from the device name table
// and the device setup interface (sysfs on Linux); tests replace them, since a pseudo-terminal has no
// USB identity (and, under Wine, no entry in the device name table).
class PortSystem {
  public:
    virtual ~PortSystem() = default;
    virtual bool listDeviceNames(std::vector<std::string>& names) = 0;  // false: the system call failed
    virtual std::vector<platform::ComPortDevice> listComPortDevices() = 0;
};

PortSystem& systemPorts();

}  // namespace tarvelmond
