#include "simclient/client_io_service.h"

#include <algorithm>
#include <array>

namespace tarvelmond::simclient {
namespace {

// How long the thread waits for I/O when no close is pending; completions and wake-ups end it early.
constexpr std::chrono::milliseconds kIdleWait{500};
constexpr std::chrono::milliseconds kClosingWait{5};

}  // namespace

std::uint64_t ClientIoService::newKey() {
    const std::lock_guard lock(mutex_);
    return ++lastKey_;
}

void ClientIoService::startThreadLocked(std::unique_lock<std::mutex>& lock) {
    if (running_) return;
    running_ = true;
    // The previous thread, if any, has left its loop and only has to finish returning.
    std::thread previous = std::move(thread_);
    thread_ = std::thread([this] { run(); });
    lock.unlock();
    if (previous.joinable()) previous.join();
    lock.lock();
}

void ClientIoService::adopt(std::shared_ptr<SimClient> client, platform::Stream&& stream, bool noDelay) {
    std::unique_lock lock(mutex_);
    adoptions_.push_back({std::move(client), std::move(stream), noDelay});
    if (loop_ != nullptr) loop_->wake();
    startThreadLocked(lock);
}

void ClientIoService::close(std::uint64_t key) {
    const std::lock_guard lock(mutex_);
    closes_.push_back(key);
    if (loop_ != nullptr) loop_->wake();
}

void ClientIoService::wake() {
    const std::lock_guard lock(mutex_);
    if (loop_ != nullptr) loop_->wake();
}

void ClientIoService::closeAllAndWait() {
    std::unique_lock lock(mutex_);
    closeAll_ = true;
    if (loop_ != nullptr) loop_->wake();
    ended_.wait(lock, [this] { return !running_; });
    closeAll_ = false;
    std::thread finished = std::move(thread_);
    lock.unlock();
    if (finished.joinable()) finished.join();
}

bool ClientIoService::threadRunning() const {
    const std::lock_guard lock(mutex_);
    return running_;
}

std::size_t ClientIoService::clientCount() const {
    const std::lock_guard lock(mutex_);
    return clientCount_;
}

void ClientIoService::run() {
    platform::IoLoop loop;
    {
        const std::lock_guard lock(mutex_);
        loop_ = &loop;
    }
    std::array<platform::IoCompletion, 32> completions;
    while (takeWork(loop)) {
        const bool closing = std::any_of(clients_.begin(), clients_.end(), [](const auto& entry) {
            return entry.second.closeRequested && !entry.second.shutDown;
        });
        const std::size_t count = loop.wait(completions, closing ? kClosingWait : kIdleWait);
        for (std::size_t i = 0; i < count; ++i) {
            const auto found = clients_.find(completions[i].key);
            if (found != clients_.end()) found->second.client->completed(loop, completions[i]);
        }
    }
}

bool ClientIoService::takeWork(platform::IoLoop& loop) {
    std::vector<Adoption> adoptions;
    std::vector<std::uint64_t> closes;
    bool closeAll = false;
    {
        const std::lock_guard lock(mutex_);
        adoptions.swap(adoptions_);
        closes.swap(closes_);
        closeAll = closeAll_;
    }
    const auto now = std::chrono::steady_clock::now();
    for (Adoption& adoption : adoptions) {
        const std::uint64_t key = adoption.client->key();
        SimClient& client = *adoption.client;
        clients_.emplace(key, Managed{std::move(adoption.client)});
        if (loop.valid() && loop.attach(std::move(adoption.stream), key, adoption.noDelay)) {
            client.attached(loop);
        } else {
            client.attachFailed();
        }
    }
    for (const std::uint64_t key : closes) {
        const auto found = clients_.find(key);
        if (found == clients_.end() || found->second.closeRequested) continue;
        found->second.closeRequested = true;
        found->second.flushDeadline = now + kCloseFlushLimit;
    }
    if (closeAll) {
        for (auto& [key, managed] : clients_) {
            if (managed.closeRequested) continue;
            managed.closeRequested = true;
            managed.flushDeadline = now + kCloseFlushLimit;
        }
    }
    for (auto& [key, managed] : clients_)
        managed.client->writeNext(loop);
    closeWhenSent(loop);
    std::erase_if(clients_, [](const auto& entry) {
        return entry.second.closeRequested && entry.second.client->released();
    });

    const std::lock_guard lock(mutex_);
    clientCount_ = clients_.size();
    if (!clients_.empty() || !adoptions_.empty() || !closes_.empty()) return true;
    running_ = false;
    loop_ = nullptr;
    ended_.notify_all();
    return false;
}

void ClientIoService::closeWhenSent(platform::IoLoop& loop) {
    const auto now = std::chrono::steady_clock::now();
    for (auto& [key, managed] : clients_) {
        if (!managed.closeRequested || managed.shutDown) continue;
        if (!managed.client->sendingDone() && now < managed.flushDeadline) continue;
        managed.client->shutdown(loop);
        managed.shutDown = true;
    }
}

}  // namespace tarvelmond::simclient
