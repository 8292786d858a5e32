#include "games/nolimits_link.h"

#include <cstdio>

#include "games/byte_view.h"
#include "platform/sockets.h"

namespace tarvelmond {

std::array<std::uint8_t, kNoLimitsHeader + 1> noLimitsRequest(std::uint16_t type,
                                                              std::uint32_t requestNumber) {
    return {'N',
            static_cast<std::uint8_t>(type >> 8),
            static_cast<std::uint8_t>(type),
            static_cast<std::uint8_t>(requestNumber >> 24),
            static_cast<std::uint8_t>(requestNumber >> 16),
            static_cast<std::uint8_t>(requestNumber >> 8),
            static_cast<std::uint8_t>(requestNumber),
            0,
            0,
            'L'};
}

bool noLimitsHandshake() {
    platform::SocketLibrary library;
    if (library.start() != 0) {
        std::perror("Error initializing Winsock");
        return false;
    }
    platform::Socket socket = platform::Socket::tcp();
    if (!socket.valid()) {
        std::perror("Error creating socket");
        return false;
    }
    if (!socket.connect({platform::kLoopback, kNoLimitsPort})) {
        std::perror("Error connecting to server");
        return false;
    }
    if (!socket.setNonBlocking()) {
        std::perror("Error setting socket as non-blocking");
        return false;
    }
    const auto idle = noLimitsRequest(kNoLimitsIdle, 1234);
    if (socket.send(idle) < 0) std::perror("Error sending data");  // the answer may come all the same
    const int ready = socket.waitReadable(500'000);
    if (ready < 0) std::perror("Error in select");
    return ready == 1;
}

int connectNoLimits(NoLimitsState& state) {
    disconnectNoLimits(state);
    if (state.library.start() != 0) {
        std::perror("Error initializing Winsock");
        return 0;
    }
    state.socket = platform::Socket::tcp();
    if (!state.socket.valid()) {
        std::perror("Error creating socket");
        state.library.release();
        return 0;
    }
    if (!state.socket.connect({platform::kLoopback, kNoLimitsPort}) || !state.socket.setNonBlocking()) {
        state.socket.close();
        state.library.release();
        return 0;
    }
    state.pendingLength = 0;
    state.connected = true;
    return 1;
}

void disconnectNoLimits(NoLimitsState& state) {
    state.connected = false;
    state.socket.close();
    state.library.release();
    state.pendingLength = 0;
}

std::span<const std::uint8_t> newestNoLimitsTelemetry(std::span<const std::uint8_t> bytes,
                                                      std::size_t& consumed) {
    std::span<const std::uint8_t> newest;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ByteView message(bytes.subspan(at));
        if (message.u8(0) != 'N') {  // not at a message start: resynchronise on the next byte
            ++at;
            continue;
        }
        const auto type = message.u16be(1);
        const auto length = message.u16be(7);
        if (!type || !length) break;  // header still incomplete
        const std::size_t total = kNoLimitsHeader + *length + 1;
        if (total > kNoLimitsLongestMessage) {  // no reply is this long: a false start
            ++at;
            continue;
        }
        if (!message.has(0, total)) break;  // data still incomplete
        if (message.u8(total - 1) != 'L') {
            ++at;
            continue;
        }
        if (*type == kNoLimitsTelemetry && *length >= kNoLimitsTelemetrySize) {
            newest = bytes.subspan(at + kNoLimitsHeader, kNoLimitsTelemetrySize);
        }
        at += total;
    }
    consumed = at;
    return newest;
}

}  // namespace tarvelmond
