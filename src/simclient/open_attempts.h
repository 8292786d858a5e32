#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "simclient/client_io_service.h"
#include "simclient/sim_client.h"

// Opening a client without holding the caller: the connection is made on a thread of its own, and the
// caller waits for it only briefly. A connection that takes longer goes on in the background, and a
// later open with the same parameters picks it up instead of starting another one.
namespace tarvelmond::simclient {

struct OpenParameters {
    std::string applicationName;
    NotificationTargets notify;
    std::uint32_t configurationIndex = 0;
    bool insideSimulator = false;

    bool sameRequest(const OpenParameters& other) const {
        return applicationName == other.applicationName && notify.window == other.notify.window &&
               notify.windowMessage == other.notify.windowMessage && notify.event == other.notify.event &&
               configurationIndex == other.configurationIndex;
    }
};

class OpenAttempts {
  public:
    explicit OpenAttempts(ClientIoService& service) : service_(service) {}
    ~OpenAttempts() { cancelAll(); }
    OpenAttempts(const OpenAttempts&) = delete;
    OpenAttempts& operator=(const OpenAttempts&) = delete;

    // 0 and a connected client (whose open request is queued) when an attempt with these parameters
    // has finished, or finishes within `wait`; kFailed when it failed or is still under way. A failed
    // attempt is replaced by a new one; one under way is left to go on.
    std::int32_t open(const OpenParameters& parameters, SimClient*& client, std::chrono::milliseconds wait);

    // Calls off every attempt, waits for their threads and closes the clients nobody took.
    void cancelAll();

    // Attempts whose connection is still being made.
    std::size_t underWay() const;

  private:
    struct Attempt {
        OpenParameters parameters;
        std::atomic<bool> cancel{false};
        bool finished = false;
        std::shared_ptr<SimClient> client;  // the result, null when it failed
        std::thread thread;
    };
    using Attempts = std::list<std::unique_ptr<Attempt>>;

    void connect(Attempt& attempt);
    // Takes a finished attempt out of the list: its client, or null.
    std::shared_ptr<SimClient> collect(std::unique_lock<std::mutex>& lock, Attempts::iterator attempt);

    ClientIoService& service_;
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    Attempts attempts_;
};

}  // namespace tarvelmond::simclient
