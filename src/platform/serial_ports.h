#pragma once
#include <string>
#include <vector>

// What the system tells about its serial ports, for the controller's port discovery.
namespace tarvelmond::platform {

// All device names the system knows (QueryDosDevice's list on Windows; on Linux the "COMn" names of
// the COM mapping in serial_device.h, for devices that exist). False on failure, with the system error
// code as the thread's last error.
bool listDeviceNames(std::vector<std::string>& names);

// A present device that exposes the COM-port interface.
struct ComPortDevice {
    std::string friendlyName;  // for example "USB-SERIAL CH340 (COM5)"
    std::string hardwareIds;   // the hardware-id list, for example "USB\VID_1A86&PID_7523&REV_0254"
};

// The device setup interface on Windows (class {86E0D1E0-8089-11D0-9CE4-08003E301F73}); on Linux the
// USB serial devices in sysfs, each named "<product> (COMn)" with "USB\VID_xxxx&PID_xxxx" as its ids.
std::vector<ComPortDevice> listComPortDevices();

}  // namespace tarvelmond::platform
