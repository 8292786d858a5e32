#include "platform/serial_ports.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/posix/com_names.h"

namespace tarvelmond::platform {
namespace {

namespace fs = std::filesystem;

// Every COM number with the tty it leads to: the links of the COM directory, or else the ttys that
// sysfs knows a device for (plain /dev/ttyS nodes without a UART behind them are left out).
std::vector<std::pair<unsigned, std::string>> comPorts() {
    std::vector<std::pair<unsigned, std::string>> ports;
    std::error_code error;
    if (const std::string directory = comDirectory(); !directory.empty()) {
        for (const auto& entry : fs::directory_iterator(directory, error)) {
            const std::string name = entry.path().filename().string();
            if (name.size() < 4 || name.compare(0, 3, "com") != 0 ||
                !std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                continue;
            }
            const fs::path target = fs::canonical(entry.path(), error);
            ports.emplace_back(static_cast<unsigned>(std::stoul(name.substr(3))),
                               error ? std::string() : target.filename().string());
        }
    } else {
        for (const auto& entry : fs::directory_iterator("/sys/class/tty", error)) {
            const std::string name = entry.path().filename().string();
            const unsigned number = comNumberOfTty(name);
            if (number != 0 && fs::exists(entry.path() / "device", error)) ports.emplace_back(number, name);
        }
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}  // namespace

bool listDeviceNames(std::vector<std::string>& names) {
    names.clear();
    for (const auto& [number, tty] : comPorts())
        names.push_back("COM" + std::to_string(number));
    return true;
}

std::vector<ComPortDevice> listComPortDevices() {
    const char* declared = std::getenv(kPortIdentityVariable);
    std::vector<ComPortDevice> devices = parseDeclaredPorts(declared != nullptr ? declared : "");
    std::error_code error;
    for (const auto& [number, tty] : comPorts()) {
        if (tty.empty()) continue;
        // The tty's device is a USB interface; its parent chain reaches the USB device with the ids.
        for (fs::path node = fs::canonical("/sys/class/tty/" + tty + "/device", error);
             !error && node.has_relative_path(); node = node.parent_path()) {
            if (fs::exists(node / "idVendor", error) && fs::exists(node / "idProduct", error)) {
                std::string product = firstLine(node / "product");
                devices.push_back({(product.empty() ? std::string("USB Serial Port") : product) + " (COM" +
                                       std::to_string(number) + ")",
                                   "USB\\VID_" + upper(firstLine(node / "idVendor")) + "&PID_" +
                                       upper(firstLine(node / "idProduct"))});
                break;
            }
        }
    }
    return devices;
}

}  // namespace tarvelmond::platform
