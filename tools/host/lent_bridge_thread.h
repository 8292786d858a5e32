#pragma once
#include <thread>

#include "library_api.h"

namespace tarvelmond::host {

// The thread this host lends the library's serial bridge: the bridge loop runs on it until it is
// stopped, which ending this object does (also when a start throws), before the thread is joined.
class LentBridgeThread {
  public:
    explicit LentBridgeThread(const LibraryApi& api)
        : api_(api), thread_([&api] { api.startKestrovane_Thread(); }) {}
    ~LentBridgeThread() {
        api_.stopKestrovane_Thread();
        thread_.join();
    }
    LentBridgeThread(const LentBridgeThread&) = delete;
    LentBridgeThread& operator=(const LentBridgeThread&) = delete;

  private:
    const LibraryApi& api_;
    std::thread thread_;
};

}  // namespace tarvelmond::host
