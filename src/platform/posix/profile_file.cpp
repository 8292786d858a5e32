#include <fstream>

#include "platform/profile_file.h"

namespace tarvelmond::platform {
namespace {

// A configuration file is a few hundred bytes; reading stops here whatever the file holds.
constexpr std::size_t kMostBytesRead = 1 << 20;

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text;
    if (!file) return text;
    text.resize(kMostBytesRead);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    return text;
}

}  // namespace

std::string profileString(const std::string& path, const std::string& section, const std::string& key) {
    return profileTextValue(fileText(path), section, key);
}

bool profileSectionHasEntries(const std::string& path, const std::string& section) {
    return profileTextSectionHasEntries(fileText(path), section);
}

}  // namespace tarvelmond::platform
