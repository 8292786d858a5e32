#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/io_loop.h"
#include "platform/stream.h"
#include "simclient/sim_client.h"

// The simulator client's I/O thread. It owns every connected client's stream: it reads and writes
// for them, and it is where a client is closed, so that neither the reader's thread nor any system
// thread ever waits on a connection or touches it after it is gone. The thread starts with the first
// client and ends by itself once the last one is released; `closeAllAndWait` ends it on purpose.
namespace tarvelmond::simclient {

class ClientIoService {
  public:
    // What an owner's close allows for the requests it queued before: sent within this, or dropped.
    static constexpr std::chrono::milliseconds kCloseFlushLimit{100};

    ClientIoService() = default;
    ~ClientIoService() { closeAllAndWait(); }
    ClientIoService(const ClientIoService&) = delete;
    ClientIoService& operator=(const ClientIoService&) = delete;

    // A key for a new client, unique in the process.
    std::uint64_t newKey();

    // The I/O thread attaches the connected stream for `client` and takes it from there.
    void adopt(std::shared_ptr<SimClient> client, platform::Stream&& stream, bool noDelay);
    // The client's owner is done with it: the I/O thread sends what it queued, closes the stream and
    // releases the client. Returns at once.
    void close(std::uint64_t key);
    // Requests are waiting to be written.
    void wake();

    // Closes every client, waits until all are released and the thread has ended. For the end of the
    // work, before the library may be unloaded.
    void closeAllAndWait();

    bool threadRunning() const;
    std::size_t clientCount() const;

  private:
    struct Adoption {
        std::shared_ptr<SimClient> client;
        platform::Stream stream;
        bool noDelay = false;
    };
    struct Managed {
        std::shared_ptr<SimClient> client;
        bool closeRequested = false;
        bool shutDown = false;
        std::chrono::steady_clock::time_point flushDeadline;
    };

    void startThreadLocked(std::unique_lock<std::mutex>& lock);
    void run();
    // One turn of the thread: false when there is nothing left and the thread has to end.
    bool takeWork(platform::IoLoop& loop);
    void closeWhenSent(platform::IoLoop& loop);

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    std::thread thread_;
    bool running_ = false;
    platform::IoLoop* loop_ = nullptr;  // the running thread's loop
    std::vector<Adoption> adoptions_;
    std::vector<std::uint64_t> closes_;
    bool closeAll_ = false;
    std::uint64_t lastKey_ = 0;
    std::size_t clientCount_ = 0;  // a copy of clients_.size() for other threads

    // I/O thread only.
    std::unordered_map<std::uint64_t, Managed> clients_;
};

}  // namespace tarvelmond::simclient
