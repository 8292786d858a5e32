#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarvelmond::platform {

// A program started by this process; ended (killed and reaped) when the object is destroyed. Test
// peers use it to run stand-in game processes under the games' executable names.
class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess() { terminate(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::string& executable, const std::vector<std::string>& arguments = {});
    void terminate();
    bool running() const;
    // Waits up to `limit` for the program to end by itself: its exit status (on a signal, 128 plus the
    // signal's number), or nothing while it still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);

  private:
#if defined(_WIN32)
    void* process_ = nullptr;
#else
    int pid_ = -1;
#endif
};

}  // namespace tarvelmond::platform
