#include <windows.h>

#include <array>

#include "platform/profile_file.h"

namespace tarvelmond::platform {

std::string profileString(const std::string& path, const std::string& section, const std::string& key) {
    std::array<char, kProfileValueMax + 1> value{};
    const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", value.data(),
                                                  static_cast<DWORD>(value.size()), path.c_str());
    return {value.data(), length};
}

bool profileSectionHasEntries(const std::string& path, const std::string& section) {
    std::array<char, kProfileValueMax + 1> entries{};
    return GetPrivateProfileSectionA(section.c_str(), entries.data(), static_cast<DWORD>(entries.size()),
                                     path.c_str()) > 0;
}

}  // namespace tarvelmond::platform
