#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tarvelmond {

// Finding the controller's port: the system's COM ports, filtered by the USB identity of the serial
// chip behind them, opened and asked for their identification frame.

// The host's standard port: the number after the first "COM" in the text; 0 when the text has none.
int setStandardPort(const char* text);

// The COM numbers among the system's device names, in the system's order.
bool enumeratePorts(std::vector<std::uint32_t>& ports);
// Whether a device whose friendly name contains `name` has one of the accepted USB identities.
bool checkPortVendor(const std::string& name);
// Opens the standard port and expects F9 F9 01 00 01 00 0A 0D; 1 connected by this call.
int connectStandardPort();
// Tries every listed port (the bridge runs this while no port is connected); 1 connected.
int scanPorts();

}  // namespace tarvelmond
