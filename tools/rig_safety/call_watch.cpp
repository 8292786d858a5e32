#include "call_watch.h"

namespace tarvelmond::rig_safety {

CallWatch::CallWatch(std::chrono::milliseconds limit, std::function<void(const std::string&)> onHang)
    : limit_(limit), onHang_(std::move(onHang)) {
    patrol_ = std::thread([this] { patrol(); });
}

CallWatch::~CallWatch() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    patrol_.join();
}

CallWatch::Guard CallWatch::watch(std::string call) {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = next_++;
    calls_.emplace(id, std::make_pair(std::move(call), Clock::now()));
    return Guard(*this, id);
}

void CallWatch::done(std::uint64_t id) {
    std::lock_guard lock(mutex_);
    calls_.erase(id);
}

void CallWatch::patrol() {
    std::unique_lock lock(mutex_);
    while (!ending_) {
        changed_.wait_for(lock, std::chrono::milliseconds(250));
        const auto now = Clock::now();
        for (const auto& [id, call] : calls_) {
            if (now - call.second > limit_) {
                const std::string name = call.first;
                lock.unlock();
                onHang_(name);  // does not return
                lock.lock();
            }
        }
    }
}

}  // namespace tarvelmond::rig_safety
