#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "server_transport.h"

namespace tarvelmond::simulator_peer {
namespace {

bool waitFor(int fd, short events, std::chrono::milliseconds wait) {
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, static_cast<int>(wait.count())) > 0;
}

class TcpConnection : public ServerConnection {
  public:
    TcpConnection(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {
        const int on = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~TcpConnection() override {
        if (fd_ >= 0) ::close(fd_);
    }
    int receive(std::span<std::uint8_t> into, std::chrono::milliseconds wait) override {
        if (fd_ < 0) return -1;
        if (!waitFor(fd_, POLLIN, wait)) return 0;
        const ssize_t received = ::recv(fd_, into.data(), into.size(), MSG_DONTWAIT);
        if (received < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
        return received > 0 ? static_cast<int>(received) : -1;
    }
    bool send(std::span<const std::uint8_t> bytes) override {
        std::size_t sent = 0;
        while (fd_ >= 0 && sent < bytes.size()) {
            const ssize_t now = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (now < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            sent += static_cast<std::size_t>(now);
        }
        return fd_ >= 0;
    }
    void abort() override {
        if (fd_ < 0) return;
        const linger hard{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(fd_);
        fd_ = -1;
    }
    std::string peer() const override { return peer_; }

  private:
    int fd_;
    std::string peer_;
};

class TcpListener : public ServerListener {
  public:
    TcpListener(int fd, bool ipv6) : fd_(fd), ipv6_(ipv6) {}
    ~TcpListener() override { ::close(fd_); }
    std::unique_ptr<ServerConnection> accept(std::chrono::milliseconds wait) override {
        if (!waitFor(fd_, POLLIN, wait)) return nullptr;
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return nullptr;
        return std::make_unique<TcpConnection>(client, ipv6_ ? "::1" : "127.0.0.1");
    }
    std::uint16_t port() const override {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
        return ntohs(ipv6_ ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                           : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    }

  private:
    int fd_;
    bool ipv6_;
};

}  // namespace

std::unique_ptr<ServerListener> listenTcp(bool ipv6, std::uint16_t port, int backlog) {
    const int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return nullptr;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    int bound = -1;
    if (ipv6) {
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        address.sin6_addr = in6addr_loopback;
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } else {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (bound != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<TcpListener>(fd, ipv6);
}

std::unique_ptr<ServerListener> listenPipe(const std::string&) {
    return nullptr;
}

void shutdownSending(std::intptr_t socket) {
    ::shutdown(static_cast<int>(socket), SHUT_WR);
}

HeldConnection::HeldConnection(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    socket_ = fd;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

HeldConnection::~HeldConnection() {
    if (socket_ >= 0) ::close(static_cast<int>(socket_));
}

}  // namespace tarvelmond::simulator_peer
