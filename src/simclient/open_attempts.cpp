#include "simclient/open_attempts.h"

#include <algorithm>

#include "simclient/client_config.h"
#include "simclient/connection_chain.h"

namespace tarvelmond::simclient {

std::int32_t OpenAttempts::open(const OpenParameters& parameters, SimClient*& client,
                                std::chrono::milliseconds wait) {
    client = nullptr;
    std::unique_lock lock(mutex_);
    auto same = std::find_if(attempts_.begin(), attempts_.end(), [&](const auto& attempt) {
        return attempt->parameters.sameRequest(parameters);
    });
    if (same != attempts_.end()) {
        if (!(*same)->finished) return kFailed;  // still connecting: no second attempt beside it
        if (const std::shared_ptr<SimClient> done = collect(lock, same); done) {
            client = done.get();
            return kSuccess;
        }
    }
    attempts_.push_back(std::make_unique<Attempt>());
    Attempt& attempt = *attempts_.back();
    attempt.parameters = parameters;
    attempt.thread = std::thread([this, &attempt] { connect(attempt); });
    if (!finished_.wait_for(lock, wait, [&] { return attempt.finished; })) return kFailed;
    const auto self = std::find_if(attempts_.begin(), attempts_.end(),
                                   [&](const auto& entry) { return entry.get() == &attempt; });
    if (self == attempts_.end()) return kFailed;  // called off meanwhile
    const std::shared_ptr<SimClient> done = collect(lock, self);
    if (!done) return kFailed;
    client = done.get();
    return kSuccess;
}

std::shared_ptr<SimClient> OpenAttempts::collect(std::unique_lock<std::mutex>& lock,
                                                 Attempts::iterator attempt) {
    std::unique_ptr<Attempt> taken = std::move(*attempt);
    attempts_.erase(attempt);
    lock.unlock();
    taken->thread.join();  // it has finished: this only waits for its thread to return
    lock.lock();
    std::shared_ptr<SimClient> client = std::move(taken->client);
    // A connection that failed before anybody took it is no use to the caller.
    if (client && client->failureCode() != kSuccess) {
        service_.close(client->key());
        client.reset();
    }
    return client;
}

void OpenAttempts::connect(Attempt& attempt) {
    const OpenParameters& parameters = attempt.parameters;
    ClientSettings settings;
    readClientConfig(parameters.configurationIndex, settings);
    platform::Stream stream = connectTransport(settings, ChainSteps::system(&attempt.cancel));
    std::shared_ptr<SimClient> client;
    if (stream.valid()) {
        ClientIoService& service = service_;
        client = std::make_shared<SimClient>(service.newKey(), stream.kind(), settings.maxReceiveSize,
                                             parameters.notify, [&service] { service.wake(); });
        if (parameters.insideSimulator) client->setInsideSimulator();
        // Queued before the stream is attached; it leaves as soon as it is.
        client->open(parameters.applicationName);
        const bool noDelay = settings.disableNagle && stream.kind() == platform::StreamKind::Socket;
        service.adopt(client, std::move(stream), noDelay);
    }
    const std::lock_guard lock(mutex_);
    attempt.client = std::move(client);
    attempt.finished = true;
    finished_.notify_all();
}

void OpenAttempts::cancelAll() {
    Attempts attempts;
    {
        const std::lock_guard lock(mutex_);
        attempts.swap(attempts_);
    }
    for (const auto& attempt : attempts)
        attempt->cancel.store(true);
    for (const auto& attempt : attempts) {
        attempt->thread.join();
        if (attempt->client) service_.close(attempt->client->key());
    }
}

std::size_t OpenAttempts::underWay() const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(attempts_.begin(), attempts_.end(),
                                                  [](const auto& attempt) { return !attempt->finished; }));
}

}  // namespace tarvelmond::simclient
