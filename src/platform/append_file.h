#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelmond::platform {

// A file opened for appending, shared with every other writer in this and other processes. Each
// append() lands whole at the file's end, so the lines of independent writers never overwrite or split
// each other (the C runtime's append mode seeks, then writes, which two writers can interleave): an
// append-mode write on POSIX, a write at the end under the file's lock on Windows.
class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile() { close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool open(const std::string& path);  // created if missing, never truncated
    bool isOpen() const;
    bool append(std::string_view text);
    void close();

  private:
    std::intptr_t handle_ = -1;
};

}  // namespace tarvelmond::platform
