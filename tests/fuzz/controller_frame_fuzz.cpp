// The frame cutter over bytes from a controller (serial stream or UDP datagram): whatever arrives,
// it reads only what it was given, and every frame it queues is a whole frame ending in 0x0A 0x0D.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "serial/controller_frame.h"

using namespace tarvelmond;

namespace {

void checkQueued(MessageQueue& queue) {
    Message m;
    while (queue.front(m)) {
        const bool known = m.size == 8 || m.size == 38 || m.size == 78 || m.size == 465;
        if (!known || m.bytes[0] != m.bytes[1] || m.bytes[m.size - 2] != 0x0A ||
            m.bytes[m.size - 1] != 0x0D) {
            std::abort();
        }
        queue.popFront();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto queue = std::make_unique<MessageQueue>(151);
    // As one datagram, in an allocation of exactly its size so that any over-read is caught.
    {
        std::vector<std::uint8_t> datagram(data, data + size);
        bool found = false;
        const std::size_t consumed = cutControllerFrames(datagram.data(), datagram.size(), *queue, found);
        if (consumed > size) std::abort();
        checkQueued(*queue);
    }
    // As a serial stream arriving in pieces whose sizes the input's first byte chooses.
    ReceiveBuffer buffer;
    const std::size_t step = size > 0 ? 1 + data[0] % 97 : 1;
    for (std::size_t at = 0; at < size; at += step) {
        const std::size_t n = std::min(step, size - at);
        if (!buffer.append(data + at, n)) std::abort();  // the cutter always leaves room
        extractControllerFrames(buffer, *queue);
        if (buffer.size() >= 465 + 8) std::abort();
        checkQueued(*queue);
    }
    return 0;
}
