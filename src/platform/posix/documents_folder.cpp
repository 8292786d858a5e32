#include "platform/documents_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tarvelmond::platform {
namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (home.empty()) {
        // The reentrant form: a host may look users up on threads of its own.
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> text(16384);
        if (getpwuid_r(getuid(), &entry, text.data(), text.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr) {
            home = found->pw_dir;
        }
    }
    return home;
}

// XDG_DOCUMENTS_DIR="$HOME/Documents" in ~/.config/user-dirs.dirs, as the desktop writes it.
std::string userDirsDocuments(const std::string& home) {
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty()) config = home + "/.config";
    std::ifstream file(config + "/user-dirs.dirs");
    const std::string key = "XDG_DOCUMENTS_DIR=";
    for (std::string line; std::getline(file, line);) {
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0) value.replace(0, 5, home);
        return value;
    }
    return {};
}

}  // namespace

std::string documentsFolder() {
    if (std::string fromEnvironment = environment("XDG_DOCUMENTS_DIR"); !fromEnvironment.empty()) {
        return fromEnvironment;
    }
    const std::string home = homeFolder();
    if (home.empty()) return {};
    if (std::string configured = userDirsDocuments(home); !configured.empty()) return configured;
    return home + "/Documents";
}

std::string commonDocumentsFolder() {
    return {};
}

std::string currentDirectory(std::size_t maxLength) {
    std::error_code error;
    std::string current = std::filesystem::current_path(error).string();
    return error || current.size() > maxLength ? std::string() : current;
}

std::tm localTime(std::time_t t) {
    std::tm result{};
    localtime_r(&t, &result);
    return result;
}

}  // namespace tarvelmond::platform
