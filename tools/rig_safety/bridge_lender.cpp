#include "bridge_lender.h"

#include <algorithm>
#include <future>

namespace tarvelmond::rig_safety {

BridgeLender::~BridgeLender() {
    for (int attempt = 0; attempt < 3 && running() > 0; ++attempt) {
        product_.stopBridge();
        waitReturned(std::chrono::seconds(5));
    }
    for (Lent& lent : lent_) {
        // A loop that never ends cannot be joined; the program is ending with a report anyway.
        if (lent.returned->load()) {
            lent.thread.join();
        } else {
            lent.thread.detach();
        }
    }
}

void BridgeLender::start(std::function<void()> beforeCall) {
    reap();
    Lent lent;
    const bool plainStart = !beforeCall;
    std::promise<void> calling;
    const std::future<void> called = calling.get_future();
    lent.thread = std::thread([this, beforeCall = std::move(beforeCall), calling = std::move(calling),
                               returned = lent.returned]() mutable {
        if (beforeCall) beforeCall();
        calling.set_value();
        product_.startBridge();
        returned->store(true);
    });
    lent_.push_back(std::move(lent));
    // A host that starts the bridge on a thread of its own and stops it later from another means the
    // stop to come after the start; a new thread may take a while to run, and a stop that reached the
    // library before the start had nothing to end.
    if (plainStart) called.wait();
}

bool BridgeLender::waitReturned(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running() > 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    reap();
    return true;
}

void BridgeLender::abandon() {
    for (Lent& lent : lent_)
        lent.thread.detach();
    lent_.clear();
}

std::size_t BridgeLender::running() const {
    return static_cast<std::size_t>(
        std::count_if(lent_.begin(), lent_.end(), [](const Lent& lent) { return !lent.returned->load(); }));
}

void BridgeLender::reap() {
    for (auto it = lent_.begin(); it != lent_.end();) {
        if (it->returned->load()) {
            it->thread.join();
            it = lent_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace tarvelmond::rig_safety
