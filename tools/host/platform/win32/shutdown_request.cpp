#include "shutdown_request.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tarvelmond::host {
namespace {

std::atomic<int> requests{0};
std::mutex doneMutex;
std::condition_variable doneChanged;
bool done = false;

BOOL WINAPI onConsoleEvent(DWORD event) {
    requests.fetch_add(1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this returns: give the rig its fade and the orderly stop first (the
        // system allows a closing console about 5 s).
        std::unique_lock lock(doneMutex);
        doneChanged.wait_for(lock, std::chrono::seconds(20), [] { return done; });
    }
    return TRUE;
}

}  // namespace

void installShutdownRequest() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int shutdownRequests() {
    return requests.load();
}

void shutdownComplete() {
    {
        std::lock_guard lock(doneMutex);
        done = true;
    }
    doneChanged.notify_all();
}

}  // namespace tarvelmond::host
