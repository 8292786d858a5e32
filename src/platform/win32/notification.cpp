#include "platform/notification.h"

#include <windows.h>

namespace tarvelmond::platform {

struct NotificationEvent::State {
    HANDLE event = nullptr;
};

NotificationEvent::NotificationEvent() : state_(std::make_unique<State>()) {
    state_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

NotificationEvent::~NotificationEvent() {
    if (state_->event != nullptr) CloseHandle(state_->event);
}

void* NotificationEvent::native() const {
    return state_->event;
}

bool NotificationEvent::wait(std::chrono::milliseconds limit) {
    return WaitForSingleObject(state_->event, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

void NotificationEvent::reset() {
    ResetEvent(state_->event);
}

void signalNotificationEvent(void* event) {
    SetEvent(static_cast<HANDLE>(event));
}

void postWindowMessage(void* window, std::uint32_t message) {
    PostMessageA(static_cast<HWND>(window), message, 0, 0);
}

}  // namespace tarvelmond::platform
