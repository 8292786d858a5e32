#include "log/error_log.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>

#include "platform/documents_folder.h"

namespace tarvelmond {
namespace {

std::filesystem::path logFolder(const std::string& documentsFolder) {
    return std::filesystem::path(documentsFolder) / "tarvelmond";
}

}  // namespace

ErrorLog::ErrorLog() {
    open(platform::documentsFolder());
}

ErrorLog::ErrorLog(const std::string& documentsFolder) {
    open(documentsFolder);
}

std::string ErrorLog::filePath(const std::string& documentsFolder) {
    return (logFolder(documentsFolder) / "errorlog.txt").string();
}

void ErrorLog::open(const std::string& documentsFolder) {
    if (documentsFolder.empty()) {
        std::cerr << "Failed to retrieve the Documents path" << std::endl;
        return;
    }
    // The folder usually exists already; a failure shows up as a failed open below.
    std::error_code ignored;
    std::filesystem::create_directories(logFolder(documentsFolder), ignored);
    file_.open((logFolder(documentsFolder) / "errorlog.txt").string());
    if (!file_.isOpen()) std::cerr << "Failed to open log file" << std::endl;
}

void ErrorLog::logInfo(std::string_view message) {
    write("[INFO] [", message);
}

void ErrorLog::logError(std::string_view message) {
    write("[ERROR] [", message);
}

void ErrorLog::write(const char* tag, std::string_view message) {
    std::lock_guard lock(mutex_);
    if (!file_.isOpen()) {
        std::cerr << "Log failed: Unable to write to log file." << std::endl;
        return;
    }
    const std::tm local =
        platform::localTime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    // One write per line, so that the lines of other instances never split it.
    std::string line;
    line.reserve(std::strlen(tag) + std::strlen(stamp) + 2 + message.size() + 1);
    line.append(tag).append(stamp).append("] ").append(message).append("\n");
    file_.append(line);
}

}  // namespace tarvelmond
