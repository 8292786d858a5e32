#include <windows.h>

#include "message_window.h"

namespace tarvelmond::simulator_peer {

struct MessageWindow::State {
    HWND window = nullptr;
    UINT message = 0;
};

MessageWindow::MessageWindow(std::uint32_t message) : state_(std::make_unique<State>()) {
    state_->message = message;
    state_->window = CreateWindowExA(0, "STATIC", "tarvelmond test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
}

MessageWindow::~MessageWindow() {
    if (state_->window != nullptr) DestroyWindow(state_->window);
}

void* MessageWindow::handle() const {
    return state_->window;
}

int MessageWindow::countReceived() {
    int count = 0;
    MSG message;
    while (PeekMessageA(&message, state_->window, 0, 0, PM_REMOVE)) {
        if (message.message == state_->message) ++count;
    }
    return count;
}

}  // namespace tarvelmond::simulator_peer
