#include "platform/io_loop.h"
#include "platform/ready_completions.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>
#include <vector>

namespace tarvelmond::platform {
namespace {

std::uint32_t statusOf(int error) {
    switch (error) {
        case ECONNRESET:
            return kIoConnectionReset;
        case EPIPE:
            return kIoPipeBroken;
        case ECONNABORTED:
        case ENOTCONN:
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return kIoRemoteDisconnect;
        default:
            return kIoUnsuccessful;
    }
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

struct Entry {
    Stream stream;
    std::span<std::uint8_t> readInto;
    bool reading = false;
    std::span<const std::uint8_t> writeData;
    std::size_t written = 0;
    bool writing = false;
};

}  // namespace

struct IoLoop::State {
    int wakeFd = -1;
    std::unordered_map<std::uint64_t, Entry> entries;
    ReadyCompletions ready;  // found, not yet handed out
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> polledKeys;

    // Sends what is left of the entry's write: false when the socket failed (status set).
    bool sendSome(Entry& entry, std::uint32_t& status) {
        const int fd = static_cast<int>(entry.stream.native());
        while (entry.written < entry.writeData.size()) {
            const ssize_t sent = ::send(fd, entry.writeData.data() + entry.written,
                                        entry.writeData.size() - entry.written, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0) {
                if (wouldBlock(errno)) return true;
                status = statusOf(errno);
                return false;
            }
            entry.written += static_cast<std::size_t>(sent);
        }
        return true;
    }

    void serviceRead(std::uint64_t key, Entry& entry) {
        const ssize_t received = ::recv(static_cast<int>(entry.stream.native()), entry.readInto.data(),
                                        entry.readInto.size(), MSG_DONTWAIT);
        if (received < 0 && wouldBlock(errno)) return;
        entry.reading = false;
        if (received < 0) {
            ready.add(key, IoOperation::Read, 0, statusOf(errno));
        } else {
            ready.add(key, IoOperation::Read, static_cast<std::size_t>(received), kIoSuccess);
        }
    }

    void serviceWrite(std::uint64_t key, Entry& entry) {
        std::uint32_t status = kIoSuccess;
        const bool healthy = sendSome(entry, status);
        if (healthy && entry.written < entry.writeData.size()) return;
        entry.writing = false;
        ready.add(key, IoOperation::Write, entry.written, healthy ? kIoSuccess : status);
    }
};

IoLoop::IoLoop() : state_(std::make_unique<State>()) {
    state_->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

IoLoop::~IoLoop() {
    // Nothing runs on another thread here: closing the sockets ends everything at once.
    state_->entries.clear();
    if (state_->wakeFd >= 0) ::close(state_->wakeFd);
}

bool IoLoop::valid() const {
    return state_->wakeFd >= 0;
}

bool IoLoop::attach(Stream&& stream, std::uint64_t key, bool noDelay) {
    if (!stream.valid() || stream.kind() != StreamKind::Socket || state_->entries.contains(key)) return false;
    const int fd = static_cast<int>(stream.native());
    if (noDelay) {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    Entry entry;
    entry.stream = std::move(stream);
    state_->entries.emplace(key, std::move(entry));
    return true;
}

bool IoLoop::startRead(std::uint64_t key, std::span<std::uint8_t> into, std::uint32_t& status) {
    const auto found = state_->entries.find(key);
    if (found == state_->entries.end() || found->second.reading || into.empty()) {
        status = kIoUnsuccessful;
        return false;
    }
    found->second.readInto = into;
    found->second.reading = true;
    return true;
}

bool IoLoop::startWrite(std::uint64_t key, std::span<const std::uint8_t> data, std::uint32_t& status) {
    const auto found = state_->entries.find(key);
    if (found == state_->entries.end() || found->second.writing) {
        status = kIoUnsuccessful;
        return false;
    }
    Entry& entry = found->second;
    entry.writeData = data;
    entry.written = 0;
    // As an overlapped write does, the start sends at once what the socket takes.
    if (!state_->sendSome(entry, status)) return false;
    entry.writing = true;
    if (entry.written == data.size()) {
        entry.writing = false;
        state_->ready.add(key, IoOperation::Write, entry.written, kIoSuccess);
    }
    return true;
}

void IoLoop::close(std::uint64_t key) {
    const auto found = state_->entries.find(key);
    if (found == state_->entries.end()) return;
    Entry& entry = found->second;
    entry.stream.close();
    if (entry.reading) state_->ready.add(key, IoOperation::Read, 0, kIoCancelled);
    if (entry.writing) state_->ready.add(key, IoOperation::Write, entry.written, kIoCancelled);
    state_->ready.add(key, IoOperation::Closed, 0, kIoSuccess);
    state_->entries.erase(found);
}

std::size_t IoLoop::wait(std::span<IoCompletion> out, std::chrono::milliseconds limit) {
    State& state = *state_;
    if (out.empty()) return 0;
    if (state.ready.empty()) {
        state.polled.clear();
        state.polledKeys.clear();
        state.polled.push_back({state.wakeFd, POLLIN, 0});
        state.polledKeys.push_back(0);
        for (const auto& [key, entry] : state.entries) {
            const short events =
                static_cast<short>((entry.reading ? POLLIN : 0) | (entry.writing ? POLLOUT : 0));
            if (events == 0) continue;
            state.polled.push_back({static_cast<int>(entry.stream.native()), events, 0});
            state.polledKeys.push_back(key);
        }
        const int count = ::poll(state.polled.data(), state.polled.size(), static_cast<int>(limit.count()));
        if (count > 0) {
            if (state.polled[0].revents != 0) {
                std::uint64_t drained = 0;
                while (::read(state.wakeFd, &drained, sizeof drained) > 0) {
                }
            }
            for (std::size_t i = 1; i < state.polled.size(); ++i) {
                const short revents = state.polled[i].revents;
                if (revents == 0) continue;
                const auto found = state.entries.find(state.polledKeys[i]);
                if (found == state.entries.end()) continue;
                Entry& entry = found->second;
                // Errors and hang-ups show in the operation itself, as its failure or end of data.
                if (entry.reading && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                    state.serviceRead(found->first, entry);
                }
                if (entry.writing && (revents & (POLLOUT | POLLHUP | POLLERR)) != 0) {
                    state.serviceWrite(found->first, entry);
                }
            }
        }
    }
    return state.ready.takeInto(out);
}

void IoLoop::wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(state_->wakeFd, &one, sizeof one);
}

std::size_t IoLoop::attachedCount() const {
    return state_->entries.size();
}

}  // namespace tarvelmond::platform
