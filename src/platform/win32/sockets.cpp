#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <utility>

namespace tarvelmond::platform {
namespace {

SOCKET native(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

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

constexpr std::intptr_t kInvalid = static_cast<std::intptr_t>(INVALID_SOCKET);

}  // namespace

int SocketLibrary::start() {
    WSADATA data;
    const int result = WSAStartup(MAKEWORD(2, 2), &data);
    if (result == 0) {
        if (started_) WSACleanup();  // one release per start, never more
        started_ = true;
    }
    return result;
}

void SocketLibrary::release() {
    if (started_) WSACleanup();
    started_ = false;
}

int lastSocketError() {
    return WSAGetLastError();
}

int addressInUseError() {
    return WSAEADDRINUSE;
}

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
}

Socket Socket::udp() {
    Socket s;
    s.handle_ = static_cast<std::intptr_t>(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    return s;
}

Socket Socket::tcp() {
    Socket s;
    s.handle_ = static_cast<std::intptr_t>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    return s;
}

bool Socket::valid() const {
    return handle_ != kInvalid;
}

bool Socket::close() {
    if (handle_ == kInvalid) return true;
    return closesocket(native(std::exchange(handle_, kInvalid))) == 0;
}

bool Socket::setNonBlocking() {
    u_long mode = 1;
    return ioctlsocket(native(handle_), FIONBIO, &mode) == 0;
}

bool Socket::setMulticastInterface(std::uint32_t interfaceAddress) {
    in_addr address{};
    address.s_addr = htonl(interfaceAddress);
    return setsockopt(native(handle_), IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&address),
                      sizeof address) == 0;
}

bool Socket::joinMulticastGroup(std::uint32_t group, std::uint32_t interfaceAddress) {
    ip_mreq request{};
    request.imr_multiaddr.s_addr = htonl(group);
    request.imr_interface.s_addr = htonl(interfaceAddress);
    return setsockopt(native(handle_), IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&request),
                      sizeof request) == 0;
}

bool Socket::bind(const Ipv4Endpoint& local) {
    const sockaddr_in address = toSockaddr(local);
    return ::bind(native(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool Socket::listen(int backlog) {
    return ::listen(native(handle_), backlog) == 0;
}

Socket Socket::accept() {
    Socket s;
    s.handle_ = static_cast<std::intptr_t>(::accept(native(handle_), nullptr, nullptr));
    return s;
}

bool Socket::connect(const Ipv4Endpoint& remote) {
    const sockaddr_in address = toSockaddr(remote);
    return ::connect(native(handle_), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::uint16_t Socket::localPort() const {
    sockaddr_in address{};
    int length = sizeof address;
    if (getsockname(native(handle_), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

int Socket::waitReadable(std::int64_t timeoutUs) {
    if (handle_ == kInvalid) return -1;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(native(handle_), &readable);
    timeval timeout{static_cast<long>(timeoutUs / 1'000'000), static_cast<long>(timeoutUs % 1'000'000)};
    const int result = select(0, &readable, nullptr, nullptr, &timeout);
    return result == SOCKET_ERROR ? -1 : (result > 0 ? 1 : 0);
}

int Socket::receiveFrom(std::span<std::uint8_t> buffer, Ipv4Endpoint& sender) {
    sockaddr_in address{};
    int length = sizeof address;
    const int received =
        ::recvfrom(native(handle_), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()),
                   0, reinterpret_cast<sockaddr*>(&address), &length);
    if (received == SOCKET_ERROR) return -1;
    sender = fromSockaddr(address);
    return received;
}

int Socket::receive(std::span<std::uint8_t> buffer) {
    const int received =
        ::recv(native(handle_), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
    return received == SOCKET_ERROR ? -1 : received;
}

int Socket::sendTo(std::span<const std::uint8_t> data, const Ipv4Endpoint& remote) {
    const sockaddr_in address = toSockaddr(remote);
    const int sent =
        ::sendto(native(handle_), reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()),
                 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == SOCKET_ERROR ? -1 : sent;
}

int Socket::send(std::span<const std::uint8_t> data) {
    const int sent =
        ::send(native(handle_), reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()), 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

}  // namespace tarvelmond::platform
