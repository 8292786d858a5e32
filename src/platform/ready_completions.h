#pragma once
#include <deque>
#include <span>

#include "platform/io_loop.h"

namespace tarvelmond::platform {

// Completions an I/O loop has found and not handed out yet, oldest first.
class ReadyCompletions {
  public:
    void add(std::uint64_t key, IoOperation operation, std::size_t bytes, std::uint32_t status) {
        items_.push_back({key, operation, bytes, status});
    }
    bool empty() const { return items_.empty(); }
    // Moves as many as fit into `out`: how many.
    std::size_t takeInto(std::span<IoCompletion> out) {
        std::size_t taken = 0;
        while (taken < out.size() && !items_.empty()) {
            out[taken++] = items_.front();
            items_.pop_front();
        }
        return taken;
    }

  private:
    std::deque<IoCompletion> items_;
};

}  // namespace tarvelmond::platform
