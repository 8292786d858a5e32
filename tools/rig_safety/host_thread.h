#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tarvelmond::rig_safety {

// One of the host program's own threads: the scenario hands it calls to make, so that the library
// sees its exports called from several threads, as a host's user interface and workers call them.
class HostThread {
  public:
    HostThread();
    ~HostThread();
    HostThread(const HostThread&) = delete;
    HostThread& operator=(const HostThread&) = delete;

    // Runs `call` on this thread and waits until it has returned.
    void run(std::function<void()> call);

  private:
    void loop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> call_;
    bool busy_ = false;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace tarvelmond::rig_safety
