// The simulator client's receive assembly on any byte stream, arriving in reads of any length: every
// message handed out is whole (its size field is its length), within the maximum, and the stream's
// bytes are used in order; a failure ends the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "simclient/receive_assembler.h"

using tarvelmond::simclient::ReceiveAssembler;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    // The first bytes choose the maximum receive size and the reads' lengths.
    const std::uint32_t maximum = 4 + (static_cast<std::uint32_t>(data[0]) << 8 | data[1]) * 16;
    const std::size_t readLength = 1 + data[2];
    data += 3;
    size -= 3;

    ReceiveAssembler assembler(maximum);
    std::size_t fed = 0;
    std::size_t handedOut = 0;
    while (fed < size) {
        const auto space = assembler.freeSpace();
        if (space.empty()) std::abort();
        const std::size_t count = std::min({space.size(), readLength, size - fed});
        std::memcpy(space.data(), data + fed, count);
        assembler.commit(count);
        fed += count;
        for (;;) {
            const ReceiveAssembler::Next next = assembler.next();
            if (next.status == ReceiveAssembler::Status::NeedMore) break;
            if (next.status != ReceiveAssembler::Status::Message) return 0;
            const std::size_t length = next.message.size();
            const std::uint32_t field = static_cast<std::uint32_t>(next.message[0]) | next.message[1] << 8 |
                                        next.message[2] << 16 |
                                        static_cast<std::uint32_t>(next.message[3]) << 24;
            if (length < 4 || length > maximum || field != length) std::abort();
            if (std::memcmp(next.message.data(), data + handedOut, length) != 0) std::abort();
            handedOut += length;
            if (assembler.capacity() > ReceiveAssembler::kCapacityCap) std::abort();
        }
    }
    if (handedOut > fed) std::abort();
    return 0;
}
