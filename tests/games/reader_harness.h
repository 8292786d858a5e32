#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "engine/frame_timer.h"
#include "game_packets.h"
#include "games/readers.h"
#include "games/telemetry_record.h"
#include "net/udp_port.h"
#include "platform/sockets.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {

// A port number nobody holds right now (the system's pick for a bound socket, released again).
inline int freeUdpPort() {
    platform::SocketLibrary library;
    library.start();
    platform::Socket socket = platform::Socket::udp();
    socket.bind({platform::kLoopback, 0});
    return socket.localPort();
}

// One reader's world: its port on a free local port, a game sending to it, its timer and the record.
struct ReaderHarness {
    ReaderHarness() : portNumber(freeUdpPort()), game(portNumber) {
        EXPECT_EQ(port.openUdpPort(portNumber), 1);
        timer.tick();
    }
    ~ReaderHarness() { port.closeUdpPort(); }

    ReaderContext context() { return {timer, record, onGround}; }

    // Calls the reader until it reports data (1) or a generous deadline passes; returns its last result.
    int readUntilData(const std::function<int()>& read) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int result = 0;
        while ((result = read()) == 0 && std::chrono::steady_clock::now() < deadline) {
            sleepFor(std::chrono::milliseconds(1));
        }
        return result;
    }

    // Sends the datagrams and waits until the first of them can be received.
    void deliver(std::initializer_list<emulator::Bytes> datagrams) {
        for (const auto& datagram : datagrams)
            ASSERT_TRUE(game.send(datagram));
        sleepFor(std::chrono::milliseconds(20));  // loopback delivery; the readers never wait
    }

    int portNumber;
    UdpPort port;
    emulator::UdpGameSender game;
    FrameTimer timer;
    TelemetryRecord record;
    std::uint32_t onGround = 0;
};

}  // namespace tarvelmond::test
