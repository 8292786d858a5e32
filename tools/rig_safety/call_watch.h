#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tarvelmond::rig_safety {

// Notices a call into the library that never returns (a stop that joins for ever, a loop that spins
// on a dead port). Nothing can end such a call, so the watch hands what is known to `onHang`, which
// reports it and ends the program.
class CallWatch {
  public:
    using Clock = std::chrono::steady_clock;

    CallWatch(std::chrono::milliseconds limit, std::function<void(const std::string& call)> onHang);
    ~CallWatch();
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

    // While the guard lives, the call it names is in progress.
    class Guard {
      public:
        Guard(CallWatch& watch, std::uint64_t id) : watch_(watch), id_(id) {}
        ~Guard() { watch_.done(id_); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        CallWatch& watch_;
        std::uint64_t id_;
    };
    [[nodiscard]] Guard watch(std::string call);

  private:
    void done(std::uint64_t id);
    void patrol();

    std::chrono::milliseconds limit_;
    std::function<void(const std::string&)> onHang_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, std::pair<std::string, Clock::time_point>> calls_;
    std::uint64_t next_ = 0;
    bool ending_ = false;
    std::thread patrol_;
};

}  // namespace tarvelmond::rig_safety
