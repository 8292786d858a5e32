#include <cerrno>
#include <cstring>

#include "platform/serial_device.h"

namespace tarvelmond::platform {

std::uint32_t lastSystemError() {
    return static_cast<std::uint32_t>(errno);
}

void setLastSystemError(std::uint32_t code) {
    errno = static_cast<int>(code);
}

bool systemErrorText(std::uint32_t code, std::wstring& text) {
    text.clear();
    const char* description = strerrordesc_np(static_cast<int>(code));
    if (description == nullptr) return false;
    for (const char* c = description; *c != '\0'; ++c)
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    return true;
}

}  // namespace tarvelmond::platform
