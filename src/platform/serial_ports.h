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
// Ports declared in the environment (below) come first.
std::vector<ComPortDevice> listComPortDevices();

// Ports whose USB identity the user states, for serial devices the system cannot identify: a
// controller behind an adapter whose driver reports no USB ids, a pseudo-terminal, a port that Wine
// passes through. TARVELMOND_PORT_IDENTITY holds entries separated by ';', each "COMn=<hardware ids>",
// for example "COM4=USB\VID_1A86&PID_7523". Each declared port is listed as "Declared port (COMn)"
// with those ids; the discovery still accepts only its own identities. Unset, nothing is declared.
inline constexpr const char* kPortIdentityVariable = "TARVELMOND_PORT_IDENTITY";
std::vector<ComPortDevice> parseDeclaredPorts(const std::string& text);

}  // namespace tarvelmond::platform
