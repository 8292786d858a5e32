#include <algorithm>

#include "platform/shared_memory.h"

namespace tarvelmond::platform {

std::string posixObjectName(const std::string& name) {
    std::string result = "/" + name;
    std::replace(result.begin() + 1, result.end(), '\\', '.');
    std::replace(result.begin() + 1, result.end(), '/', '.');
    return result;
}

}  // namespace tarvelmond::platform
