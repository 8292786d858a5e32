#include <algorithm>
#include <cstdlib>

#include "platform/shared_memory.h"

namespace tarvelmond::platform {

std::string posixObjectName(const std::string& name) {
    std::string result = "/";
    // POSIX names are machine-wide; a namespace keeps separate installations or test runs apart.
    if (const char* space = std::getenv("TARVELMOND_SHM_NAMESPACE"); space != nullptr && *space != '\0') {
        result += space;
        result += '.';
    }
    const std::size_t start = result.size();
    result += name;
    std::replace(result.begin() + static_cast<std::ptrdiff_t>(start), result.end(), '\\', '.');
    std::replace(result.begin() + static_cast<std::ptrdiff_t>(start), result.end(), '/', '.');
    return result;
}

}  // namespace tarvelmond::platform
