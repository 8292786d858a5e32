#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

namespace tarvelmond {

// Lets host threads replace filter chains while the game-source thread evaluates them, without the
// game-source thread ever waiting: it brackets each cue computation with enter()/leave(), and a host
// that has unhooked a chain waits in waitForEvaluations() until no computation that could still be
// using the old chain is running, then releases it. The real-time side costs two atomic increments
// per tick and never blocks; the old chain is always destroyed on the host's thread.
class EvaluationGate {
  public:
    void enter() { epoch_.fetch_add(1); }  // odd: inside a computation
    void leave() { epoch_.fetch_add(1); }  // even: outside

    void waitForEvaluations() const {
        const std::uint64_t seen = epoch_.load();
        if ((seen & 1U) == 0) return;
        while (epoch_.load() == seen)
            std::this_thread::yield();
    }

  private:
    std::atomic<std::uint64_t> epoch_{0};
};

}  // namespace tarvelmond
