#include <string>

#include "platform/sockets.h"

namespace tarvelmond::platform {

std::string Ipv4Endpoint::text() const {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF) + ":" +
           std::to_string(port);
}

}  // namespace tarvelmond::platform
