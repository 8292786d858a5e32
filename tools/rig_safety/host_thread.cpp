#include "host_thread.h"

namespace tarvelmond::rig_safety {

HostThread::HostThread() {
    thread_ = std::thread([this] { loop(); });
}

HostThread::~HostThread() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void HostThread::run(std::function<void()> call) {
    std::unique_lock lock(mutex_);
    call_ = std::move(call);
    busy_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !busy_; });
}

void HostThread::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || ending_; });
        if (busy_) {
            std::function<void()> call = std::move(call_);
            lock.unlock();
            call();
            lock.lock();
            busy_ = false;
            changed_.notify_all();
        } else if (ending_) {
            return;
        }
    }
}

}  // namespace tarvelmond::rig_safety
