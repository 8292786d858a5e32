#include "serial/udp_loop_life.h"

#include <mutex>

namespace tarvelmond {

UdpLoopLife::UdpLoopLife(LinkState& state, UdpLoopFlags& flags) : state_(state), flags_(flags) {
    std::lock_guard lock(state.bridgeControl);
    if (flags.active.load()) return;
    flags.active.store(true);
    flags.running.store(true);
    ++state.udpStarts;
    state.udpStopped.store(false);
    state.interfaceRunning.store(true);
    state.udpStarted.store(true);
    state.bridgeChanged.notify_all();  // a stop still waiting gives way to this later start
    started_ = true;
}

UdpLoopLife::~UdpLoopLife() {
    if (!started_) return;
    std::lock_guard lock(state_.bridgeControl);
    flags_.running.store(false);
    flags_.active.store(false);
    state_.udpStopped.store(true);
    state_.bridgeChanged.notify_all();
}

}  // namespace tarvelmond
