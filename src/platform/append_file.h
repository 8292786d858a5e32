#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvelmond::platform {

// A file opened for appending only, shared with every other writer in this and other processes. Each
// append() is one write that the system places whole at the file's end, so the lines of independent
// writers never overwrite or split each other (the C runtime's append mode seeks, then writes, which
// two writers can interleave).
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
