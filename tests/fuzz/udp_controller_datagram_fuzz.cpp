// The listen loop's cutting of one datagram from the network: whatever a machine on the LAN sends, it
// reads only the datagram, reports a controller only when it queued a frame, and every frame it queues
// stands whole in the datagram (with 0x0A 0x0D where the datagram may carry the CRC).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "serial/udp_listener.h"

using namespace tarvelmond;

namespace {

bool standsInDatagram(const Message& frame, const std::vector<std::uint8_t>& datagram) {
    const std::size_t body = frame.size - 2;
    const auto at =
        std::search(datagram.begin(), datagram.end(), frame.bytes.begin(), frame.bytes.begin() + body);
    return at != datagram.end() && static_cast<std::size_t>(datagram.end() - at) >= frame.size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto queue = std::make_unique<MessageQueue>(151);
    queue->clear();
    // In an allocation of exactly its size, so that any read past the datagram is caught.
    const std::vector<std::uint8_t> datagram(data, data + size);
    const bool found = cutControllerDatagram(datagram, *queue);
    if (found != !queue->empty() && queue->size() < queue->capacity()) std::abort();
    if (queue->size() > size / 8) std::abort();
    Message frame;
    while (queue->front(frame)) {
        if (frame.size < 8 || frame.bytes[frame.size - 2] != 0x0A || frame.bytes[frame.size - 1] != 0x0D ||
            !standsInDatagram(frame, datagram))
            std::abort();
        queue->popFront();
    }
    return 0;
}
