#pragma once
#include <chrono>
#include <cstdint>
#include <memory>

// The two ways a client tells its owner that something arrived: a manual-reset event the owner waits
// on, and (Windows only) a message posted to the owner's window.
namespace tarvelmond::platform {

class NotificationEvent {
  public:
    NotificationEvent();
    ~NotificationEvent();
    NotificationEvent(const NotificationEvent&) = delete;
    NotificationEvent& operator=(const NotificationEvent&) = delete;

    // What a caller hands over as an event handle: the event's HANDLE on Windows, the object itself
    // elsewhere.
    void* native() const;
    // True once the event is set (it stays set until reset), waiting at most `limit`.
    bool wait(std::chrono::milliseconds limit);
    void reset();

    struct State;

  private:
    friend void signalNotificationEvent(void* event);
    std::unique_ptr<State> state_;
};

// Sets the event behind a native event handle (see NotificationEvent::native).
void signalNotificationEvent(void* event);

// Posts `message` (parameters 0 and 0) to the window `window`; does nothing where there are no windows.
void postWindowMessage(void* window, std::uint32_t message);

}  // namespace tarvelmond::platform
