#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace tarvelmond::test {

// Polls until the condition holds: false once `limit` has passed. For what other threads or processes
// bring about in their own time.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace tarvelmond::test
