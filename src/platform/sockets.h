#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Berkeley/Winsock sockets behind one small interface. Only IPv4 is needed by the game sources and
// the UDP port.
namespace tarvelmond::platform {

// Winsock must be started (2.2) before any socket call and released once per start; elsewhere both
// steps do nothing. An object releases what it started when it is destroyed.
class SocketLibrary {
  public:
    SocketLibrary() = default;
    ~SocketLibrary() { release(); }
    SocketLibrary(const SocketLibrary&) = delete;
    SocketLibrary& operator=(const SocketLibrary&) = delete;

    int start();  // 0 on success, else the start-up error code
    void release();
    bool started() const { return started_; }

  private:
    bool started_ = false;
};

// The last socket error of the calling thread (WSAGetLastError or errno).
int lastSocketError();
// The platform's code for "address already in use".
int addressInUseError();

struct Ipv4Endpoint {
    std::uint32_t address = 0;  // host byte order; 0 is any interface, 0x7F000001 the loopback
    std::uint16_t port = 0;

    std::string text() const;  // "a.b.c.d:port"
};

inline constexpr std::uint32_t kLoopback = 0x7F000001u;

// One socket handle; closed when the object is destroyed.
class Socket {
  public:
    Socket() = default;
    ~Socket() { close(); }
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    static Socket udp();
    static Socket tcp();

    bool valid() const;
    bool close();  // false when the close call itself failed

    bool setNonBlocking();
    // Multicast datagrams this socket sends leave through the interface with this IPv4 address
    // (host byte order). Binding to the address alone does not choose it on every system.
    bool setMulticastInterface(std::uint32_t interfaceAddress);
    // Receives the datagrams sent to `group` on the interface with `interfaceAddress`.
    bool joinMulticastGroup(std::uint32_t group, std::uint32_t interfaceAddress);
    bool bind(const Ipv4Endpoint& local);
    bool listen(int backlog);
    Socket accept();
    bool connect(const Ipv4Endpoint& remote);
    std::uint16_t localPort() const;

    // select() for readability: 1 readable, 0 timed out, -1 failed.
    int waitReadable(std::int64_t timeoutUs);

    // Bytes received (0 for an orderly TCP shutdown), or -1.
    int receiveFrom(std::span<std::uint8_t> buffer, Ipv4Endpoint& sender);
    int receive(std::span<std::uint8_t> buffer);
    // Bytes sent, or -1.
    int sendTo(std::span<const std::uint8_t> data, const Ipv4Endpoint& remote);
    int send(std::span<const std::uint8_t> data);

  private:
    std::intptr_t handle_ = -1;
};

}  // namespace tarvelmond::platform
