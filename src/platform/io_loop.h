#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/stream.h"

// Reads and writes on connected streams, driven by one thread that owns the loop: operations are
// started, and their completions are collected by `wait`, never delivered on a system thread. On
// Windows this is overlapped I/O on an I/O completion port of the loop's own; elsewhere non-blocking
// sockets and poll().
namespace tarvelmond::platform {

enum class IoOperation : std::uint8_t { Read, Write, Closed };

// Completion statuses in the form Windows reports them (NT status values); elsewhere the socket
// errors are given the same values.
inline constexpr std::uint32_t kIoSuccess = 0;
inline constexpr std::uint32_t kIoMoreData = 0x80000005u;  // a pipe message longer than the read
inline constexpr std::uint32_t kIoUnsuccessful = 0xC0000001u;
inline constexpr std::uint32_t kIoCancelled = 0xC0000120u;
inline constexpr std::uint32_t kIoRemoteDisconnect = 0xC000013Cu;
inline constexpr std::uint32_t kIoPipeBroken = 0xC000014Bu;
inline constexpr std::uint32_t kIoConnectionReset = 0xC000020Du;

struct IoCompletion {
    std::uint64_t key = 0;
    IoOperation operation = IoOperation::Read;
    std::size_t bytes = 0;
    std::uint32_t status = kIoSuccess;  // a read of 0 bytes with success status: the peer closed
};

class IoLoop {
  public:
    IoLoop();
    ~IoLoop();  // closes what is still attached and waits for its operations to end
    IoLoop(const IoLoop&) = delete;
    IoLoop& operator=(const IoLoop&) = delete;

    bool valid() const;

    // Takes the stream over under `key` (unique among the attached streams). `noDelay` switches off
    // send coalescing on a socket.
    bool attach(Stream&& stream, std::uint64_t key, bool noDelay);

    // At most one read and one write may be outstanding per stream; the memory must stay valid until
    // the operation's completion (or the stream's Closed completion). A start that fails reports the
    // status and queues no completion.
    bool startRead(std::uint64_t key, std::span<std::uint8_t> into, std::uint32_t& status);
    bool startWrite(std::uint64_t key, std::span<const std::uint8_t> data, std::uint32_t& status);

    // Shuts the stream down, cancels its outstanding operations and closes it. Their completions
    // still come (cancelled), followed by one Closed completion once nothing refers to the memory
    // given to the operations any more.
    void close(std::uint64_t key);

    // Collects up to out.size() completions, waiting at most `limit` for the first. A `wake` from any
    // thread ends the wait early.
    std::size_t wait(std::span<IoCompletion> out, std::chrono::milliseconds limit);
    void wake();

    std::size_t attachedCount() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};

}  // namespace tarvelmond::platform
