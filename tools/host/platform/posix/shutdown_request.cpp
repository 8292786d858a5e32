#include "shutdown_request.h"

#include <signal.h>

#include <atomic>

namespace tarvelmond::host {
namespace {

std::atomic<int> requests{0};

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&set, signal);
    }
    return set;
}

}  // namespace

void installShutdownRequest() {
    // Blocked here, before any thread starts, so every thread inherits the block: a Ctrl-C never lands
    // in the library's real-time thread or the bridge (where it would cut a port's read or write
    // short), but waits, pending, until the host takes it.
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int shutdownRequests() {
    const sigset_t set = stopSignals();
    const timespec now{};
    while (sigtimedwait(&set, nullptr, &now) > 0) {
        requests.fetch_add(1);
    }
    return requests.load();
}

void shutdownComplete() {}

}  // namespace tarvelmond::host
