#include "platform/processes.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <memory>

namespace tarvelmond::platform {
namespace {

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string executableName(const std::string& pid) {
    char target[4096];
    const std::string proc = "/proc/" + pid;
    const ssize_t length = readlink((proc + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0) {
        std::string path(target, static_cast<std::size_t>(length));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() &&
            path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
            path.resize(path.size() - deleted.size());
        }
        return baseName(path);
    }
    std::ifstream cmdline(proc + "/cmdline", std::ios::binary);
    std::string first;
    std::getline(cmdline, first, '\0');
    return baseName(first);
}

}  // namespace

bool isProcessRunning(const std::string& name) {
    std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
    if (!proc) return false;
    while (const dirent* entry = readdir(proc.get())) {
        const std::string pid = entry->d_name;
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
        if (executableName(pid) == name) return true;
    }
    return false;
}

}  // namespace tarvelmond::platform
