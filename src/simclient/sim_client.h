#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/io_loop.h"
#include "platform/stream.h"
#include "simclient/receive_assembler.h"
#include "simclient/received_messages.h"
#include "simclient/request_builder.h"
#include "simclient/result_codes.h"

// One connection to the flight simulator's server: what the reader's thread asks of it (requests and
// received messages) and what the client's I/O thread does for it (reading, cutting messages, writing
// the queued requests, ending the connection). The two sides meet only in the send list, the received
// messages and the connection's result, so the reader never waits for I/O.
namespace tarvelmond::simclient {

// Where a client tells its owner that messages arrived or the connection failed.
struct NotificationTargets {
    void* window = nullptr;
    std::uint32_t windowMessage = 0;
    void* event = nullptr;
};

class SimClient {
  public:
    // A client over a connected stream of `kind`; the I/O thread attaches the stream under `key`.
    // `wakeIo` tells the I/O thread that requests are waiting to be written.
    SimClient(std::uint64_t key, platform::StreamKind kind, std::uint32_t maxReceiveSize,
              NotificationTargets notify, std::function<void()> wakeIo);
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    std::uint64_t key() const { return key_; }

    // --- The reader's side (one thread). Requests return 0 once queued, the connection's code once it
    // has failed, kStringTooLong for a string of 256 characters or more.
    std::int32_t open(std::string_view applicationName);
    std::int32_t addToDataDefinition(std::uint32_t definition, std::string_view datumName,
                                     std::string_view unitName, std::uint32_t datumType, float epsilon,
                                     std::uint32_t datumId);
    std::int32_t requestDataOnSimObject(std::uint32_t request, std::uint32_t definition, std::uint32_t object,
                                        std::uint32_t period, std::uint32_t flags, std::uint32_t origin,
                                        std::uint32_t interval, std::uint32_t limit);
    std::int32_t subscribeToSystemEvent(std::uint32_t event, std::string_view eventName);
    // Queues whatever was built and not yet sent.
    void flushRequests();
    // The owner's close: from its return on, the owner's event and window are never signalled again
    // (a signal under way is waited for), though the connection may still finish its sending.
    void stopNotifying();
    // Gives back the message handed out last and hands out the oldest waiting one (0). With none
    // waiting: the connection's failure code once it has failed, else kNoMessage; the outputs are then
    // null and 0.
    std::int32_t getNextDispatch(const std::uint8_t** message, std::uint32_t* size);

    // 0 while the connection is healthy (or was closed on purpose), else why it failed.
    std::int32_t failureCode() const;
    DisconnectKind failureKind() const { return failureKind_.load(); }

    // Whether the client was opened inside the simulator's own process (it connects as any other
    // client would).
    bool insideSimulator() const { return insideSimulator_; }
    void setInsideSimulator() { insideSimulator_ = true; }

    // --- The I/O thread's side.
    // The stream is attached: the first read is posted and queued requests start.
    void attached(platform::IoLoop& loop);
    // The stream could not be attached: the connection has failed.
    void attachFailed();
    void completed(platform::IoLoop& loop, const platform::IoCompletion& completion);
    // Starts writing the next queued packet unless a write is outstanding.
    void writeNext(platform::IoLoop& loop);
    // Nothing queued and nothing being written.
    bool sendingDone();
    // Ends the connection without an error (the owner closed it).
    void shutdown(platform::IoLoop& loop);
    // The stream is closed and no operation refers to the client's memory any more.
    bool released() const { return released_; }

  private:
    std::int32_t queued(std::int32_t built);
    void readNext(platform::IoLoop& loop);
    void received(platform::IoLoop& loop, std::size_t bytes);
    void fail(platform::IoLoop& loop, DisconnectKind kind, std::int32_t code);
    void notify() const;

    const std::uint64_t key_;
    const platform::StreamKind kind_;
    mutable std::mutex notifyMutex_;
    NotificationTargets notify_;  // under notifyMutex_
    const std::function<void()> wakeIo_;
    bool insideSimulator_ = false;

    // Reader's thread.
    RequestBuilder requests_;

    // Shared.
    std::mutex sendMutex_;
    std::deque<std::vector<std::uint8_t>> sendList_;
    ReceivedMessages received_;
    std::atomic<bool> connected_{true};
    std::atomic<bool> failed_{false};
    std::atomic<std::int32_t> failureCode_{0};
    std::atomic<DisconnectKind> failureKind_{DisconnectKind::None};

    // I/O thread.
    ReceiveAssembler assembler_;
    std::vector<std::uint8_t> writing_;
    std::size_t writtenOfPacket_ = 0;
    bool writeOutstanding_ = false;
    bool attached_ = false;
    bool released_ = false;
};

}  // namespace tarvelmond::simclient
