#include "platform/io_loop.h"
#include "platform/ready_completions.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// windows.h after the socket headers, which must come first
#include <windows.h>

#include <unordered_map>
#include <vector>

namespace tarvelmond::platform {
namespace {

// The wake-up packet's key; streams are attached under other keys.
constexpr ULONG_PTR kWakeKey = 0;
// How long the loop's end waits for the cancelled operations of streams still attached.
constexpr DWORD kFinalDrainMs = 2000;

std::uint32_t statusOf(DWORD error) {
    switch (error) {
        case ERROR_BROKEN_PIPE:
        case ERROR_PIPE_NOT_CONNECTED:
        case WSAESHUTDOWN:
            return kIoPipeBroken;
        case ERROR_NETNAME_DELETED:
        case WSAECONNABORTED:
        case WSAENOTCONN:
            return kIoRemoteDisconnect;
        case WSAECONNRESET:
            return kIoConnectionReset;
        case ERROR_OPERATION_ABORTED:
            return kIoCancelled;
        default:
            return kIoUnsuccessful;
    }
}

struct Entry {
    Stream stream;
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{};
    bool reading = false;
    bool writing = false;
    bool closing = false;
};

bool started(BOOL result, DWORD socketOrFileError, std::uint32_t& status) {
    if (result || socketOrFileError == ERROR_IO_PENDING || socketOrFileError == WSA_IO_PENDING) return true;
    status = statusOf(socketOrFileError);
    return false;
}

}  // namespace

struct IoLoop::State {
    HANDLE port = nullptr;
    // Entries own the OVERLAPPED blocks the system writes into; they stay until the last completion.
    std::unordered_map<std::uint64_t, std::unique_ptr<Entry>> entries;
    ReadyCompletions ready;  // found, not yet handed out
    std::vector<OVERLAPPED_ENTRY> raw = std::vector<OVERLAPPED_ENTRY>(64);

    void releaseIfDone(std::uint64_t key) {
        const auto found = entries.find(key);
        if (found == entries.end()) return;
        const Entry& entry = *found->second;
        if (!entry.closing || entry.reading || entry.writing) return;
        ready.add(key, IoOperation::Closed, 0, kIoSuccess);
        entries.erase(found);
    }

    // Takes what the port has within `limit`: the number of packets taken.
    std::size_t collect(DWORD limit) {
        ULONG count = 0;
        if (!GetQueuedCompletionStatusEx(port, raw.data(), static_cast<ULONG>(raw.size()), &count, limit,
                                         FALSE)) {
            return 0;
        }
        for (ULONG i = 0; i < count; ++i) {
            const OVERLAPPED_ENTRY& packet = raw[i];
            if (packet.lpCompletionKey == kWakeKey && packet.lpOverlapped == nullptr) continue;
            const auto key = static_cast<std::uint64_t>(packet.lpCompletionKey);
            const auto found = entries.find(key);
            if (found == entries.end()) continue;
            Entry& entry = *found->second;
            const auto status = static_cast<std::uint32_t>(packet.lpOverlapped->Internal);
            if (packet.lpOverlapped == &entry.readOverlapped) {
                entry.reading = false;
                ready.add(key, IoOperation::Read, packet.dwNumberOfBytesTransferred, status);
            } else if (packet.lpOverlapped == &entry.writeOverlapped) {
                entry.writing = false;
                ready.add(key, IoOperation::Write, packet.dwNumberOfBytesTransferred, status);
            }
            releaseIfDone(key);
        }
        return count;
    }
};

IoLoop::IoLoop() : state_(std::make_unique<State>()) {
    state_->port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
}

IoLoop::~IoLoop() {
    State& state = *state_;
    if (state.port == nullptr) return;
    std::vector<std::uint64_t> keys;
    for (const auto& [key, entry] : state.entries)
        keys.push_back(key);
    for (const std::uint64_t key : keys)
        close(key);
    const ULONGLONG deadline = GetTickCount64() + kFinalDrainMs;
    for (ULONGLONG now = GetTickCount64(); !state.entries.empty() && now < deadline; now = GetTickCount64()) {
        state.collect(static_cast<DWORD>(deadline - now));
    }
    // An operation the system never finished still owns its OVERLAPPED block: leave that memory be
    // rather than let a late completion write into freed memory.
    for (auto& [key, entry] : state.entries)
        static_cast<void>(entry.release());
    CloseHandle(state.port);
}

bool IoLoop::valid() const {
    return state_->port != nullptr;
}

bool IoLoop::attach(Stream&& stream, std::uint64_t key, bool noDelay) {
    if (!stream.valid() || key == kWakeKey || state_->entries.contains(key)) return false;
    const auto handle = reinterpret_cast<HANDLE>(stream.native());
    if (CreateIoCompletionPort(handle, state_->port, static_cast<ULONG_PTR>(key), 0) == nullptr) return false;
    if (noDelay && stream.kind() == StreamKind::Socket) {
        const BOOL on = TRUE;
        setsockopt(static_cast<SOCKET>(stream.native()), IPPROTO_TCP, TCP_NODELAY,
                   reinterpret_cast<const char*>(&on), sizeof on);
    }
    auto entry = std::make_unique<Entry>();
    entry->stream = std::move(stream);
    state_->entries.emplace(key, std::move(entry));
    return true;
}

bool IoLoop::startRead(std::uint64_t key, std::span<std::uint8_t> into, std::uint32_t& status) {
    const auto found = state_->entries.find(key);
    if (found == state_->entries.end() || found->second->reading || found->second->closing || into.empty()) {
        status = kIoUnsuccessful;
        return false;
    }
    Entry& entry = *found->second;
    entry.readOverlapped = {};
    const auto length = static_cast<DWORD>(into.size());
    if (entry.stream.kind() == StreamKind::Pipe) {
        const BOOL result = ReadFile(reinterpret_cast<HANDLE>(entry.stream.native()), into.data(), length,
                                     nullptr, &entry.readOverlapped);
        if (!started(result, result ? 0 : GetLastError(), status)) return false;
    } else {
        WSABUF buffer{static_cast<ULONG>(length), reinterpret_cast<char*>(into.data())};
        DWORD flags = 0;
        const int result = WSARecv(static_cast<SOCKET>(entry.stream.native()), &buffer, 1, nullptr, &flags,
                                   &entry.readOverlapped, nullptr);
        if (!started(result == 0, result == 0 ? 0 : WSAGetLastError(), status)) return false;
    }
    entry.reading = true;
    return true;
}

bool IoLoop::startWrite(std::uint64_t key, std::span<const std::uint8_t> data, std::uint32_t& status) {
    const auto found = state_->entries.find(key);
    if (found == state_->entries.end() || found->second->writing || found->second->closing) {
        status = kIoUnsuccessful;
        return false;
    }
    Entry& entry = *found->second;
    entry.writeOverlapped = {};
    const auto length = static_cast<DWORD>(data.size());
    if (entry.stream.kind() == StreamKind::Pipe) {
        const BOOL result = WriteFile(reinterpret_cast<HANDLE>(entry.stream.native()), data.data(), length,
                                      nullptr, &entry.writeOverlapped);
        if (!started(result, result ? 0 : GetLastError(), status)) return false;
    } else {
        WSABUF buffer{static_cast<ULONG>(length),
                      const_cast<char*>(reinterpret_cast<const char*>(data.data()))};
        const int result = WSASend(static_cast<SOCKET>(entry.stream.native()), &buffer, 1, nullptr, 0,
                                   &entry.writeOverlapped, nullptr);
        if (!started(result == 0, result == 0 ? 0 : WSAGetLastError(), status)) return false;
    }
    entry.writing = true;
    return true;
}

void IoLoop::close(std::uint64_t key) {
    const auto found = state_->entries.find(key);
    if (found == state_->entries.end() || found->second->closing) return;
    Entry& entry = *found->second;
    entry.closing = true;
    if (entry.reading || entry.writing) CancelIoEx(reinterpret_cast<HANDLE>(entry.stream.native()), nullptr);
    entry.stream.close();
    state_->releaseIfDone(key);
}

std::size_t IoLoop::wait(std::span<IoCompletion> out, std::chrono::milliseconds limit) {
    State& state = *state_;
    if (out.empty()) return 0;
    if (state.ready.empty()) state.collect(static_cast<DWORD>(limit.count()));
    return state.ready.takeInto(out);
}

void IoLoop::wake() {
    PostQueuedCompletionStatus(state_->port, 0, kWakeKey, nullptr);
}

std::size_t IoLoop::attachedCount() const {
    return state_->entries.size();
}

}  // namespace tarvelmond::platform
