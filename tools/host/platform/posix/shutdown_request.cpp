#include "shutdown_request.h"

#include <signal.h>

#include <atomic>

namespace tarvelmond::host {
namespace {

std::atomic<int> requests{0};
static_assert(std::atomic<int>::is_always_lock_free, "touched from a signal handler");

void onSignal(int) {
    requests.fetch_add(1);
}

}  // namespace

void installShutdownRequest() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

int shutdownRequests() {
    return requests.load();
}

void shutdownComplete() {}

}  // namespace tarvelmond::host
