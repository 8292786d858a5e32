#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "product.h"

namespace tarvelmond::rig_safety {

// Lends the library threads for its serial bridge, as a host does: each startKestrovane_Thread runs on
// a thread of its own until a stop ends it.
class BridgeLender {
  public:
    explicit BridgeLender(Product& product) : product_(product) {}
    ~BridgeLender();
    BridgeLender(const BridgeLender&) = delete;
    BridgeLender& operator=(const BridgeLender&) = delete;

    // The lent thread runs `beforeCall` (if any) just before it calls startKestrovane_Thread. A plain
    // start returns once its thread is making the call, so that whatever the host does next comes after.
    void start(std::function<void()> beforeCall = {});
    // Waits until every lent thread has returned; false if one still runs after `limit`.
    bool waitReturned(std::chrono::milliseconds limit);
    std::size_t running() const;
    // The host will not wait for its lent threads: they are detached, left inside the library.
    void abandon();

  private:
    struct Lent {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> returned = std::make_shared<std::atomic<bool>>(false);
    };
    void reap();

    Product& product_;
    std::vector<Lent> lent_;
};

}  // namespace tarvelmond::rig_safety
