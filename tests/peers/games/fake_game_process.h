#pragma once
#include <string>
#include <vector>

#include "platform/child_process.h"

namespace tarvelmond::emulator {

// A running process whose executable carries a game's name (for example "DCS.exe"): the stand-in
// program beside the test program, copied under that name into a private folder and started. Ended
// and removed when the object goes.
class FakeGameProcess {
  public:
    explicit FakeGameProcess(const std::string& executableName);
    // The same with another program beside the test program (its name without extension), started
    // with arguments: a stand-in that also plays the game's part.
    FakeGameProcess(const std::string& executableName, const std::string& program,
                    const std::vector<std::string>& arguments);
    ~FakeGameProcess();
    FakeGameProcess(const FakeGameProcess&) = delete;
    FakeGameProcess& operator=(const FakeGameProcess&) = delete;

    // True once the process runs and can be seen by its name (waits up to 20 s).
    bool started() const { return started_; }

  private:
    std::string folder_;
    platform::ChildProcess process_;
    bool started_ = false;
};

}  // namespace tarvelmond::emulator
