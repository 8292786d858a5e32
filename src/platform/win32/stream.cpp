#include "platform/stream.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// windows.h after the socket headers, which must come first
#include <windows.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace tarvelmond::platform {
namespace {

// How long one wait lasts before the cancel flag is looked at again.
constexpr std::chrono::milliseconds kCancelCheck{20};

bool cancelled(const OpenLimits& limits) {
    return limits.cancel != nullptr && limits.cancel->load();
}

std::chrono::milliseconds timeLeft(std::chrono::steady_clock::time_point deadline) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
}

// Waits for a non-blocking connect to finish: true when it connected.
bool finishConnect(SOCKET socket, const OpenLimits& limits) {
    const auto deadline = std::chrono::steady_clock::now() + limits.limit;
    while (!cancelled(limits)) {
        const auto left = timeLeft(deadline);
        if (left.count() <= 0) return false;
        const auto slice = std::min(left, kCancelCheck);
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket, &writable);
        FD_SET(socket, &failed);
        timeval timeout{0, static_cast<long>(slice.count() * 1000)};
        const int ready = select(0, nullptr, &writable, &failed, &timeout);
        if (ready == SOCKET_ERROR) return false;
        if (ready == 0) continue;
        if (FD_ISSET(socket, &failed)) return false;
        int error = 0;
        int length = sizeof error;
        return getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 &&
               error == 0;
    }
    return false;
}

struct AddressList {
    addrinfo* first = nullptr;
    ~AddressList() {
        if (first != nullptr) freeaddrinfo(first);
    }
};

}  // namespace

void Stream::close() {
    if (handle_ == kNone) return;
    const std::intptr_t handle = std::exchange(handle_, kNone);
    if (kind_ == StreamKind::Socket) {
        const auto socket = static_cast<SOCKET>(handle);
        shutdown(socket, SD_BOTH);
        closesocket(socket);
        WSACleanup();  // the start the stream was given with its socket
    } else {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
}

Stream connectTcp(TcpFamily family, const std::string& host, const std::string& port,
                  const OpenLimits& limits) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return {};
    addrinfo hints{};
    hints.ai_family = family == TcpFamily::Ipv4 ? AF_INET : AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    AddressList results;
    // An empty address names the local machine.
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &results.first) != 0 ||
        results.first == nullptr) {
        WSACleanup();
        return {};
    }
    const addrinfo* target = results.first;
    const SOCKET socket = WSASocketW(target->ai_family, target->ai_socktype, target->ai_protocol, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        WSACleanup();
        return {};
    }
    // From here the stream owns the socket and the start: every failure closes both.
    Stream stream = Stream::adopt(static_cast<std::intptr_t>(socket), StreamKind::Socket);
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) return {};
    if (connect(socket, target->ai_addr, static_cast<int>(target->ai_addrlen)) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK || !finishConnect(socket, limits)) return {};
    }
    u_long blocking = 0;
    if (ioctlsocket(socket, FIONBIO, &blocking) != 0) return {};
    return stream;
}

bool pipesSupported() {
    return true;
}

Stream openPipe(const std::string& path, const OpenLimits& limits) {
    const auto deadline = std::chrono::steady_clock::now() + limits.limit;
    for (;;) {
        const HANDLE pipe = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            return Stream::adopt(reinterpret_cast<std::intptr_t>(pipe), StreamKind::Pipe);
        }
        if (GetLastError() != ERROR_PIPE_BUSY) return {};
        // Every instance is busy: wait for one in short steps, so that a cancel is seen soon.
        for (;;) {
            const auto left = timeLeft(deadline);
            if (left.count() <= 0 || cancelled(limits)) return {};
            const auto slice =
                std::max<std::chrono::milliseconds::rep>(1, std::min(left, kCancelCheck).count());
            if (WaitNamedPipeA(path.c_str(), static_cast<DWORD>(slice))) break;
            if (GetLastError() != ERROR_SEM_TIMEOUT) return {};
        }
    }
}

}  // namespace tarvelmond::platform
