#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// Connected byte streams to a server: TCP over IPv4 or IPv6, and (on Windows) named pipes. Opening
// one is bounded in time and can be called off from another thread, so that the caller's thread is
// never held by a server that does not answer.
namespace tarvelmond::platform {

enum class StreamKind : std::uint8_t { Socket, Pipe };
enum class TcpFamily : std::uint8_t { Ipv4, Ipv6 };

// One connected stream; closed when the object is destroyed. A socket stream holds its own start of
// the socket interface (Winsock), released with it.
class Stream {
  public:
    Stream() = default;
    ~Stream() { close(); }
    Stream(Stream&& other) noexcept;
    Stream& operator=(Stream&& other) noexcept;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    bool valid() const { return handle_ != kNone; }
    StreamKind kind() const { return kind_; }
    std::intptr_t native() const { return handle_; }
    // Shuts a socket down in both directions (a pipe has nothing to shut) and closes the handle.
    void close();

    // Takes over an open handle (a connected socket or pipe) of `kind`.
    static Stream adopt(std::intptr_t handle, StreamKind kind);

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
    StreamKind kind_ = StreamKind::Socket;
};

// What opening a stream may wait for, and how to call it off early.
struct OpenLimits {
    std::chrono::milliseconds limit;
    const std::atomic<bool>* cancel = nullptr;  // set by another thread to give up at once
};

// Connects to host:port (a name or a numeric address; a port number or a service name) over the
// family's TCP, trying the first address the name resolves to. Invalid when resolution, the socket
// or the connection fails, when `limits.limit` passes or when the attempt is cancelled; a failed
// attempt never leaves its socket open.
Stream connectTcp(TcpFamily family, const std::string& host, const std::string& port,
                  const OpenLimits& limits);

// Whether this platform has named pipes (Windows).
bool pipesSupported();

// Opens the existing named pipe at `path` for reading and writing, exclusively, for overlapped use.
// While every instance is busy it waits for one, within `limits`. Invalid on failure, and always where
// pipes are not supported.
Stream openPipe(const std::string& path, const OpenLimits& limits);

}  // namespace tarvelmond::platform
