#pragma once
#include <mutex>
#include <string>
#include <string_view>

#include "platform/append_file.h"

namespace tarvelmond {

// Time-stamped lines of the network part in <Documents>/tarvelmond/errorlog.txt. Every instance opens
// the file for appending on its own; lines written through one instance never interleave.
class ErrorLog {
  public:
    ErrorLog();
    // The same with a given Documents folder; an empty folder counts as not found.
    explicit ErrorLog(const std::string& documentsFolder);
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    void logInfo(std::string_view message);
    void logError(std::string_view message);

    bool isOpen() const { return file_.isOpen(); }

    // The log file inside a Documents folder.
    static std::string filePath(const std::string& documentsFolder);

  private:
    void open(const std::string& documentsFolder);
    void write(const char* tag, std::string_view message);

    platform::AppendFile file_;
    std::mutex mutex_;
};

}  // namespace tarvelmond
