#include "message_window.h"

namespace tarvelmond::simulator_peer {

struct MessageWindow::State {};

MessageWindow::MessageWindow(std::uint32_t) : state_(std::make_unique<State>()) {}
MessageWindow::~MessageWindow() = default;

void* MessageWindow::handle() const {
    return nullptr;
}

int MessageWindow::countReceived() {
    return 0;
}

}  // namespace tarvelmond::simulator_peer
