#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

// The fake simulator's end of its connections: TCP on the loopback addresses, and named pipes where
// the system has them (Windows, and so Wine).
namespace tarvelmond::simulator_peer {

class ServerConnection {
  public:
    virtual ~ServerConnection() = default;
    // Bytes received, waiting at most `wait` for the first: 0 when none came, -1 when the client has
    // gone.
    virtual int receive(std::span<std::uint8_t> into, std::chrono::milliseconds wait) = 0;
    // Sends all of `bytes` as one write: false when the client has gone.
    virtual bool send(std::span<const std::uint8_t> bytes) = 0;
    // Ends the connection at once (a TCP reset), without the orderly end.
    virtual void abort() = 0;
    // "127.0.0.1", "::1" or "pipe".
    virtual std::string peer() const = 0;
};

class ServerListener {
  public:
    virtual ~ServerListener() = default;
    // A connection, waiting at most `wait` for one; null when none came.
    virtual std::unique_ptr<ServerConnection> accept(std::chrono::milliseconds wait) = 0;
    virtual std::uint16_t port() const { return 0; }
};

// TCP on 127.0.0.1 or ::1 at `port` (0: any free port); null when it cannot listen. `backlog` is the
// queue of connections not yet accepted.
std::unique_ptr<ServerListener> listenTcp(bool ipv6, std::uint16_t port, int backlog = 8);
// A named pipe server at `path` ("\\.\pipe\..."); null where there are no pipes.
std::unique_ptr<ServerListener> listenPipe(const std::string& path);

// Shuts the sending side of a connected socket (a client's, handed over by its native handle): the
// next send on it fails at once while receiving goes on.
void shutdownSending(std::intptr_t socket);

// Connects a plain TCP socket to 127.0.0.1:`port` and keeps it open while the object lives: fills the
// one place of a listener's backlog of 0. Valid when connected.
class HeldConnection {
  public:
    explicit HeldConnection(std::uint16_t port);
    ~HeldConnection();
    HeldConnection(const HeldConnection&) = delete;
    HeldConnection& operator=(const HeldConnection&) = delete;
    bool connected() const { return connected_; }

  private:
    std::intptr_t socket_ = -1;
    bool connected_ = false;
};

}  // namespace tarvelmond::simulator_peer
