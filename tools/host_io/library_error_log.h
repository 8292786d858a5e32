#pragma once
#include <cstdint>
#include <string>

namespace tarvelmond::hostio {

// Follows the library's log file (the Documents folder's tarvelmond/errorlog.txt, which every instance
// of the library on this machine appends to) from where it ended when this object was made, and
// counts the "[ERROR] [" lines written since, keeping the newest one's text. Reads only whole lines and
// at most kMostPerPoll bytes per poll, so a log that grows fast never holds the caller up for long.
class LibraryErrorLog {
  public:
    static constexpr std::size_t kMostPerPoll = 64 * 1024;

    LibraryErrorLog();  // the file of the current user's Documents folder
    explicit LibraryErrorLog(std::string path);

    void poll();
    std::uint64_t errors() const { return errors_; }
    const std::string& newest() const { return newest_; }  // the message, without tag and time
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::uint64_t offset_ = 0;
    std::uint64_t errors_ = 0;
    std::string newest_;
};

}  // namespace tarvelmond::hostio
