#include "platform/posix/com_names.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace tarvelmond::platform {
namespace {

struct TtyFamily {
    std::string_view prefix;  // without the number
    unsigned firstCom;
};
// Wine numbers Linux serial devices the same way, so a host under Wine and a native host agree.
constexpr TtyFamily kFamilies[] = {{"ttyS", 1}, {"ttyUSB", 33}, {"ttyACM", 65}};
constexpr unsigned kPerFamily = 32;

std::optional<unsigned> parseComNumber(std::string_view name) {
    if (name.size() < 4 || name.substr(0, 3) != "COM") return std::nullopt;
    unsigned number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9' || number > 100000) return std::nullopt;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    return number;
}

}  // namespace

std::string comDirectory() {
    const char* directory = std::getenv("TARVELMOND_SERIAL_DIR");
    return directory != nullptr ? std::string(directory) : std::string();
}

std::optional<std::string> comDevicePath(const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    const auto number = parseComNumber(name);
    if (number) {
        if (const std::string directory = comDirectory(); !directory.empty()) {
            return directory + "/com" + std::to_string(*number);
        }
        for (const TtyFamily& family : kFamilies) {
            if (*number >= family.firstCom && *number < family.firstCom + kPerFamily) {
                return "/dev/" + std::string(family.prefix) + std::to_string(*number - family.firstCom);
            }
        }
    }
    errno = ENOENT;
    return std::nullopt;
}

unsigned comNumberOfTty(const std::string& ttyName) {
    const std::string_view name = ttyName;
    for (const TtyFamily& family : kFamilies) {
        if (name.substr(0, family.prefix.size()) != family.prefix) continue;
        const std::string_view digits = name.substr(family.prefix.size());
        if (digits.empty() || digits.size() > 2 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        unsigned index = 0;
        for (char c : digits)
            index = index * 10 + static_cast<unsigned>(c - '0');
        if (index < kPerFamily) return family.firstCom + index;
    }
    return 0;
}

}  // namespace tarvelmond::platform
