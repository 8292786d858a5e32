#pragma once
#include <algorithm>
#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

#include "log/error_log.h"
#include "platform/documents_folder.h"

// The lines of the library's error log, as a user would read them in the file.
namespace tarvelmond::test {

inline std::vector<std::string> logTail(std::size_t from) {
    std::ifstream file(ErrorLog::filePath(platform::documentsFolder()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end()};
}

inline std::size_t logLength() {
    return logTail(0).size();
}

// A line without its level tag and time.
inline std::string logMessage(const std::string& line) {
    const auto end = line.find("] ", line.find("] [") + 3);
    return end == std::string::npos ? line : line.substr(end + 2);
}

// The messages of the lines written since `from`.
inline std::vector<std::string> logMessagesSince(std::size_t from) {
    std::vector<std::string> messages;
    for (const std::string& line : logTail(from))
        messages.push_back(logMessage(line));
    return messages;
}

}  // namespace tarvelmond::test
