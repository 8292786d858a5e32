#pragma once
#include "serial/link_state.h"

namespace tarvelmond {

// The start and end of one UDP loop (the listener or the sender), decided under the link's control
// mutex so that a stop either sees the loop and waits for it, or comes first and the loop does not
// start waiting on it. The real-time passes in between never take the mutex.
class UdpLoopLife {
  public:
    // Starts the loop whose flags are `flags`, unless one with those flags runs already.
    UdpLoopLife(LinkState& state, UdpLoopFlags& flags);
    // Ends it: clears its running flag, sets udpStopped and wakes a stop that waits.
    ~UdpLoopLife();
    UdpLoopLife(const UdpLoopLife&) = delete;
    UdpLoopLife& operator=(const UdpLoopLife&) = delete;

    bool started() const { return started_; }
    bool running() const { return flags_.running.load(); }
    // A loop that cannot go on (a sender without an adapter) ends itself, and only itself.
    void giveUp() { flags_.running.store(false); }

  private:
    LinkState& state_;
    UdpLoopFlags& flags_;
    bool started_ = false;
};

}  // namespace tarvelmond
