#include "engine/process_state.h"

#include <chrono>

#include "engine/game_source_thread.h"
#include "platform/process_info.h"
#include "serial/bridge.h"

namespace tarvelmond {
namespace {

// How long the exit waits for a bridge loop on a host's thread to notice it is to end. A loop between
// two passes ends within milliseconds; one that does not (busy with a port) keeps the state.
constexpr auto kBridgeEndAtExit = std::chrono::milliseconds(250);

// Runs at the process's exit, before anything that was built with the state goes. A host that
// returns from main without stopping still has the game-source thread and perhaps a bridge loop
// running: the game-source thread, which writes into the link's queues, is stopped first, then the
// bridge; only when neither can touch the state any more is it destroyed (engine, link, port). A
// library unloaded on purpose has been stopped by its host first.
class ExitTeardown {
  public:
    explicit ExitTeardown(ProcessState*& state) : state_(state) {}
    ExitTeardown(const ExitTeardown&) = delete;
    ExitTeardown& operator=(const ExitTeardown&) = delete;
    ~ExitTeardown() {
        // Threads the system has ended cannot use the state any more, and may have left its locks
        // held: waiting for them would keep a closed host from ending (and its ports taken).
        if (platform::otherThreadsEndedByExit()) return;
        try {
            stopGameSourceThread(state_->engine);
        } catch (...) {
            return;  // a thread that cannot be joined may still use everything
        }
        if (!stopBridgeWithin(kBridgeEndAtExit)) return;
        delete state_;
        state_ = nullptr;
    }

  private:
    ProcessState*& state_;
};

}  // namespace

ProcessState& processState() {
    // Not a static object itself: the language would destroy it at exit in an order of its own,
    // whatever thread still used it.
    static ProcessState* state = new ProcessState;
    static const ExitTeardown teardown(state);
    return *state;
}

MotionEngine& engine() {
    return processState().engine;
}

LinkState& link() {
    return processState().link;
}

CSerialPort2& serialPort() {
    return processState().controllerPort;
}

}  // namespace tarvelmond
