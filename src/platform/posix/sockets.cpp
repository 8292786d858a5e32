#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tarvelmond::platform {
namespace {

sockaddr_in toSockaddr(const Ipv4Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = htonl(endpoint.address);
    return address;
}

Ipv4Endpoint fromSockaddr(const sockaddr_in& address) {
    return {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

}  // namespace

int SocketLibrary::start() {
    started_ = true;
    return 0;
}

void SocketLibrary::release() {
    started_ = false;
}

int lastSocketError() {
    return errno;
}

int addressInUseError() {
    return EADDRINUSE;
}

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

Socket Socket::udp() {
    Socket s;
    s.handle_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    return s;
}

Socket Socket::tcp() {
    Socket s;
    s.handle_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return s;
}

bool Socket::valid() const {
    return handle_ >= 0;
}

bool Socket::close() {
    if (handle_ < 0) return true;
    const int result = ::close(static_cast<int>(std::exchange(handle_, -1)));
    return result == 0;
}

bool Socket::setNonBlocking() {
    const int fd = static_cast<int>(handle_);
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool Socket::setMulticastInterface(std::uint32_t interfaceAddress) {
    in_addr address{};
    address.s_addr = htonl(interfaceAddress);
    return setsockopt(static_cast<int>(handle_), IPPROTO_IP, IP_MULTICAST_IF,
                      reinterpret_cast<const char*>(&address), sizeof address) == 0;
}

bool Socket::joinMulticastGroup(std::uint32_t group, std::uint32_t interfaceAddress) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(interfaceAddress);
    return setsockopt(static_cast<int>(handle_), IPPROTO_IP, IP_ADD_MEMBERSHIP,
                      reinterpret_cast<const char*>(&request), sizeof request) == 0;
}

bool Socket::bind(const Ipv4Endpoint& local) {
    const sockaddr_in address = toSockaddr(local);
    return ::bind(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
           0;
}

bool Socket::listen(int backlog) {
    return ::listen(static_cast<int>(handle_), backlog) == 0;
}

Socket Socket::accept() {
    Socket s;
    s.handle_ = ::accept4(static_cast<int>(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    return s;
}

bool Socket::connect(const Ipv4Endpoint& remote) {
    const sockaddr_in address = toSockaddr(remote);
    return ::connect(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&address),
                     sizeof address) == 0;
}

std::uint16_t Socket::localPort() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

int Socket::waitReadable(std::int64_t timeoutUs) {
    const int fd = static_cast<int>(handle_);
    if (fd < 0 || fd >= FD_SETSIZE) return -1;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval timeout{static_cast<time_t>(timeoutUs / 1'000'000),
                    static_cast<suseconds_t>(timeoutUs % 1'000'000)};
    const int result = select(fd + 1, &readable, nullptr, nullptr, &timeout);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int Socket::receiveFrom(std::span<std::uint8_t> buffer, Ipv4Endpoint& sender) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    const ssize_t received = ::recvfrom(static_cast<int>(handle_), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&address), &length);
    if (received < 0) return -1;
    sender = fromSockaddr(address);
    return static_cast<int>(received);
}

int Socket::receive(std::span<std::uint8_t> buffer) {
    const ssize_t received = ::recv(static_cast<int>(handle_), buffer.data(), buffer.size(), 0);
    return received < 0 ? -1 : static_cast<int>(received);
}

int Socket::sendTo(std::span<const std::uint8_t> data, const Ipv4Endpoint& remote) {
    const sockaddr_in address = toSockaddr(remote);
    const ssize_t sent = ::sendto(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int Socket::send(std::span<const std::uint8_t> data) {
    const ssize_t sent = ::send(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

}  // namespace tarvelmond::platform
