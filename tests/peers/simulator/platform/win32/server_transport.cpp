#include <winsock2.h>
#include <ws2tcpip.h>
// windows.h after the socket headers, which must come first
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "server_transport.h"

namespace tarvelmond::simulator_peer {
namespace {

// Every object that uses sockets holds one start of Winsock.
struct WinsockUse {
    WinsockUse() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (started) WSACleanup();
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool started = false;
};

bool readable(SOCKET socket, std::chrono::milliseconds wait) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{static_cast<long>(wait.count() / 1000), static_cast<long>((wait.count() % 1000) * 1000)};
    return select(0, &set, nullptr, nullptr, &timeout) > 0;
}

bool writable(SOCKET socket, std::chrono::milliseconds wait) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{static_cast<long>(wait.count() / 1000), static_cast<long>((wait.count() % 1000) * 1000)};
    return select(0, nullptr, &set, nullptr, &timeout) > 0;
}

class TcpConnection : public ServerConnection {
  public:
    TcpConnection(SOCKET socket, std::string peer) : socket_(socket), peer_(std::move(peer)) {
        const BOOL on = TRUE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
        // Sends wait in select, not in a blocking send: under Wine a blocking send to a client that
        // reset the connection may never return.
        u_long nonBlocking = 1;
        ioctlsocket(socket_, FIONBIO, &nonBlocking);
    }
    ~TcpConnection() override {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    int receive(std::span<std::uint8_t> into, std::chrono::milliseconds wait) override {
        if (socket_ == INVALID_SOCKET) return -1;
        if (!readable(socket_, wait)) return 0;
        const int received =
            recv(socket_, reinterpret_cast<char*>(into.data()), static_cast<int>(into.size()), 0);
        if (received == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
        return received > 0 ? received : -1;
    }
    bool send(std::span<const std::uint8_t> bytes) override {
        std::size_t sent = 0;
        while (socket_ != INVALID_SOCKET && sent < bytes.size()) {
            const int now = ::send(socket_, reinterpret_cast<const char*>(bytes.data() + sent),
                                   static_cast<int>(bytes.size() - sent), 0);
            if (now != SOCKET_ERROR) {
                sent += static_cast<std::size_t>(now);
            } else if (WSAGetLastError() != WSAEWOULDBLOCK || !writable(socket_, std::chrono::seconds(10))) {
                return false;
            }
        }
        return socket_ != INVALID_SOCKET;
    }
    void abort() override {
        if (socket_ == INVALID_SOCKET) return;
        const linger hard{1, 0};
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
        closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
    std::string peer() const override { return peer_; }

  private:
    WinsockUse winsock_;
    SOCKET socket_;
    std::string peer_;
};

class TcpListener : public ServerListener {
  public:
    explicit TcpListener(bool ipv6) : ipv6_(ipv6) {}
    ~TcpListener() override {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    bool listen(std::uint16_t port, int backlog) {
        socket_ = socket(ipv6_ ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (socket_ == INVALID_SOCKET) return false;
        int bound = SOCKET_ERROR;
        if (ipv6_) {
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_port = htons(port);
            address.sin6_addr = in6addr_loopback;
            bound = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        } else {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            bound = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        }
        return bound == 0 && ::listen(socket_, backlog) == 0;
    }
    std::unique_ptr<ServerConnection> accept(std::chrono::milliseconds wait) override {
        if (!readable(socket_, wait)) return nullptr;
        const SOCKET client = ::accept(socket_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return nullptr;
        return std::make_unique<TcpConnection>(client, ipv6_ ? "::1" : "127.0.0.1");
    }
    std::uint16_t port() const override {
        sockaddr_storage address{};
        int length = sizeof address;
        if (getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
        return ntohs(ipv6_ ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                           : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }

  private:
    WinsockUse winsock_;
    bool ipv6_;
    SOCKET socket_ = INVALID_SOCKET;
};

// One overlapped operation with its own event.
struct PendingIo {
    PendingIo() { overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~PendingIo() { CloseHandle(overlapped.hEvent); }
    PendingIo(const PendingIo&) = delete;
    PendingIo& operator=(const PendingIo&) = delete;
    void restart() {
        HANDLE event = overlapped.hEvent;
        overlapped = {};
        overlapped.hEvent = event;
        ResetEvent(event);
    }
    OVERLAPPED overlapped{};
    bool pending = false;
};

class PipeConnection : public ServerConnection {
  public:
    explicit PipeConnection(HANDLE pipe) : pipe_(pipe) {}
    ~PipeConnection() override { abort(); }
    int receive(std::span<std::uint8_t> into, std::chrono::milliseconds wait) override {
        if (pipe_ == INVALID_HANDLE_VALUE) return -1;
        if (!read_.pending) {
            read_.restart();
            if (!ReadFile(pipe_, buffer_.data(), static_cast<DWORD>(buffer_.size()), nullptr,
                          &read_.overlapped) &&
                GetLastError() != ERROR_IO_PENDING) {
                return -1;
            }
            read_.pending = true;
        }
        if (WaitForSingleObject(read_.overlapped.hEvent, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0)
            return 0;
        read_.pending = false;
        DWORD received = 0;
        if (!GetOverlappedResult(pipe_, &read_.overlapped, &received, FALSE) &&
            GetLastError() != ERROR_MORE_DATA) {
            return -1;
        }
        // The read went into the connection's own buffer, which outlives a read left pending.
        const std::size_t count = std::min<std::size_t>(received, into.size());
        std::memcpy(into.data(), buffer_.data(), count);
        return received == 0 ? -1 : static_cast<int>(count);
    }
    bool send(std::span<const std::uint8_t> bytes) override {
        if (pipe_ == INVALID_HANDLE_VALUE) return false;
        write_.restart();
        DWORD written = 0;
        if (!WriteFile(pipe_, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &write_.overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        return GetOverlappedResult(pipe_, &write_.overlapped, &written, TRUE) && written == bytes.size();
    }
    void abort() override {
        if (pipe_ == INVALID_HANDLE_VALUE) return;
        CancelIoEx(pipe_, nullptr);
        DWORD ignored = 0;
        if (read_.pending) GetOverlappedResult(pipe_, &read_.overlapped, &ignored, TRUE);
        read_.pending = false;
        DisconnectNamedPipe(pipe_);
        CloseHandle(pipe_);
        pipe_ = INVALID_HANDLE_VALUE;
    }
    std::string peer() const override { return "pipe"; }

  private:
    HANDLE pipe_;
    PendingIo read_;
    PendingIo write_;
    std::array<std::uint8_t, 65536> buffer_{};
};

// Keeps one instance of the pipe waiting for a client at all times, so that the name never goes away
// between two connections.
class PipeListener : public ServerListener {
  public:
    explicit PipeListener(std::string path) : path_(std::move(path)) {}
    ~PipeListener() override { closeWaiting(); }

    bool prepare() {
        waiting_ =
            CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                             PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0, nullptr);
        if (waiting_ == INVALID_HANDLE_VALUE) return false;
        connect_.restart();
        connected_ = false;
        if (!ConnectNamedPipe(waiting_, &connect_.overlapped)) {
            const DWORD error = GetLastError();
            if (error == ERROR_PIPE_CONNECTED) {
                connected_ = true;
            } else if (error != ERROR_IO_PENDING) {
                closeWaiting();
                return false;
            }
        }
        return true;
    }

    std::unique_ptr<ServerConnection> accept(std::chrono::milliseconds wait) override {
        if (waiting_ == INVALID_HANDLE_VALUE && !prepare()) return nullptr;
        if (!connected_) {
            if (WaitForSingleObject(connect_.overlapped.hEvent, static_cast<DWORD>(wait.count())) !=
                WAIT_OBJECT_0) {
                return nullptr;
            }
            DWORD ignored = 0;
            if (!GetOverlappedResult(waiting_, &connect_.overlapped, &ignored, FALSE)) {
                closeWaiting();
                return nullptr;
            }
        }
        HANDLE client = waiting_;
        waiting_ = INVALID_HANDLE_VALUE;
        prepare();
        return std::make_unique<PipeConnection>(client);
    }

  private:
    void closeWaiting() {
        if (waiting_ == INVALID_HANDLE_VALUE) return;
        CancelIoEx(waiting_, nullptr);
        DWORD ignored = 0;
        GetOverlappedResult(waiting_, &connect_.overlapped, &ignored, TRUE);
        CloseHandle(waiting_);
        waiting_ = INVALID_HANDLE_VALUE;
    }

    std::string path_;
    HANDLE waiting_ = INVALID_HANDLE_VALUE;
    PendingIo connect_;
    bool connected_ = false;
};

}  // namespace

std::unique_ptr<ServerListener> listenTcp(bool ipv6, std::uint16_t port, int backlog) {
    auto listener = std::make_unique<TcpListener>(ipv6);
    if (!listener->listen(port, backlog)) return nullptr;
    return listener;
}

std::unique_ptr<ServerListener> listenPipe(const std::string& path) {
    auto listener = std::make_unique<PipeListener>(path);
    if (!listener->prepare()) return nullptr;
    return listener;
}

void shutdownSending(std::intptr_t socket) {
    shutdown(static_cast<SOCKET>(socket), SD_SEND);
}

HeldConnection::HeldConnection(std::uint16_t port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    socket_ = static_cast<std::intptr_t>(s);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ =
        s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

HeldConnection::~HeldConnection() {
    if (static_cast<SOCKET>(socket_) != INVALID_SOCKET) closesocket(static_cast<SOCKET>(socket_));
    WSACleanup();
}

}  // namespace tarvelmond::simulator_peer
