#pragma once
#include <cstdint>
#include <memory>

namespace tarvelmond::simulator_peer {

// A window that only counts the messages of one number posted to it, as a host's window would receive
// the client's notification (Windows only; elsewhere it is never created).
class MessageWindow {
  public:
    explicit MessageWindow(std::uint32_t message);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    void* handle() const;
    // Takes the messages waiting for the window (on the thread that made it): how many had the number.
    int countReceived();

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace tarvelmond::simulator_peer
