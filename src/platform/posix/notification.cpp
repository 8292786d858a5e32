#include "platform/notification.h"

#include <condition_variable>
#include <mutex>

namespace tarvelmond::platform {

struct NotificationEvent::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool set = false;
};

NotificationEvent::NotificationEvent() : state_(std::make_unique<State>()) {}
NotificationEvent::~NotificationEvent() = default;

void* NotificationEvent::native() const {
    return const_cast<NotificationEvent*>(this);
}

bool NotificationEvent::wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, limit, [this] { return state_->set; });
}

void NotificationEvent::reset() {
    const std::lock_guard lock(state_->mutex);
    state_->set = false;
}

void signalNotificationEvent(void* event) {
    NotificationEvent::State& state = *static_cast<NotificationEvent*>(event)->state_;
    {
        const std::lock_guard lock(state.mutex);
        state.set = true;
    }
    state.changed.notify_all();
}

void postWindowMessage(void*, std::uint32_t) {}

}  // namespace tarvelmond::platform
