#include "platform/user_registry.h"

#include <windows.h>

#include <vector>

namespace tarvelmond::platform {

std::optional<std::string> userRegistryString(const std::string& key, const std::string& value,
                                              std::size_t bufferBytes) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<char> buffer(bufferBytes + 1, '\0');
    DWORD type = 0;
    auto size = static_cast<DWORD>(bufferBytes);
    const LONG result = RegQueryValueExA(opened, value.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    // The stored string may or may not carry its terminating zero; the buffer holds one after it.
    return std::string(buffer.data());
}

}  // namespace tarvelmond::platform
