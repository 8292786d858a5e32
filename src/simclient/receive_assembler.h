#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Cuts the server's byte stream into messages. Each message starts with its total size as a 32-bit
// little-endian value (at least 4, at most the maximum receive size). The receive buffer starts at
// 2048 bytes and grows in 2048-byte steps up to 1 MiB, only when it is full of one unfinished message;
// otherwise the unread bytes move to its front, so a steady stream needs no allocation.
namespace tarvelmond::simclient {

class ReceiveAssembler {
  public:
    static constexpr std::size_t kGrowthStep = 2048;
    static constexpr std::size_t kCapacityCap = std::size_t{1} << 20;

    enum class Status : std::uint8_t { NeedMore, Message, TooLarge, TooSmall, OutOfMemory };
    struct Next {
        Status status = Status::NeedMore;
        std::span<const std::uint8_t> message;  // valid until the next call of any member
    };

    // A message larger than the buffer can ever hold fails like one above the maximum: a maximum above
    // 1 MiB accepts no more than 1 MiB.
    explicit ReceiveAssembler(std::uint32_t maxReceiveSize);

    // Where the next read may put its bytes; never empty while the assembler is healthy. Growing the
    // buffer may fail: then OutOfMemory comes from the next call of `next`.
    std::span<std::uint8_t> freeSpace();
    // `count` bytes have arrived at the start of the last free space.
    void commit(std::size_t count);
    // The next whole message, or why there is none. After a failure status the stream is unusable.
    Next next();

    std::size_t capacity() const { return buffer_.size(); }

  private:
    std::size_t effectiveMaximum_;
    std::vector<std::uint8_t> buffer_;
    std::size_t readAt_ = 0;
    std::size_t end_ = 0;
    bool outOfMemory_ = false;
};

}  // namespace tarvelmond::simclient
