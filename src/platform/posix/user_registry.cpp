#include "platform/user_registry.h"

namespace tarvelmond::platform {

std::optional<std::string> userRegistryString(const std::string&, const std::string&, std::size_t) {
    return std::nullopt;
}

}  // namespace tarvelmond::platform
