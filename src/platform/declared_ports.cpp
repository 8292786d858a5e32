#include <algorithm>
#include <cctype>
#include <string>

#include "platform/serial_ports.h"

namespace tarvelmond::platform {
namespace {

std::string trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && std::isspace(static_cast<unsigned char>(text[first])))
        ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1])))
        --last;
    return text.substr(first, last - first);
}

// "COMn" in any case with at least one digit, written back as "COMn" without leading zeros.
bool comName(const std::string& text, std::string& name) {
    if (text.size() < 4 || text.size() > 9) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != "COM"[i]) return false;
    unsigned number = 0;
    for (std::size_t i = 3; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        number = number * 10U + static_cast<unsigned>(text[i] - '0');
    }
    if (number == 0) return false;
    name = "COM" + std::to_string(number);
    return true;
}

}  // namespace

// Entries that are not "COMn=ids" are ignored: a typing error must not make an unrelated port pass.
std::vector<ComPortDevice> parseDeclaredPorts(const std::string& text) {
    std::vector<ComPortDevice> devices;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        const std::string entry = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        std::string name;
        const std::string ids = trimmed(entry.substr(equals + 1));
        if (!comName(trimmed(entry.substr(0, equals)), name) || ids.empty()) continue;
        devices.push_back({"Declared port (" + name + ")", ids});
    }
    return devices;
}

}  // namespace tarvelmond::platform
