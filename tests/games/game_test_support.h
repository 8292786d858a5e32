#pragma once
// What the game tests share: the record's expected channels, waiting for a condition, recorded
// captures, and a network reader's world on a free loopback port with the game emulator sending to it.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "basics/frame_timer.h"
#include "game_packets.h"
#include "games/beamng_reader.h"
#include "games/condor_reader.h"
#include "games/dcs_reader.h"
#include "games/dirt_rally_reader.h"
#include "games/f1_reader.h"
#include "games/lfs_reader.h"
#include "games/nolimits_link.h"
#include "games/telemetry_record.h"
#include "games/udp_datagrams.h"
#include "games/wrc_reader.h"
#include "games/xplane_reader.h"
#include "net/udp_port.h"
#include "platform/sockets.h"
#include "support/eventually.h"
#include "support/loopback.h"
#include "udp_game_sender.h"

namespace tarvelmond::test {

using namespace std::chrono_literals;
using emulator::Bytes;
using enum Channel;
constexpr double g = 9.80665;
constexpr double kDeg = std::numbers::pi / 180.0;

inline float radians(double degrees) {
    return static_cast<float>(degrees * kDeg);
}

struct Expect {
    Channel channel;
    double value;
};

inline bool matches(const TelemetryRecord& record, const std::vector<Expect>& expected,
                    double tolerance = 1e-4) {
    for (const Expect& e : expected) {
        if (!(std::fabs(record.get(e.channel) - e.value) <= tolerance)) return false;
    }
    return true;
}

inline void expectChannels(const TelemetryRecord& record, const std::vector<Expect>& expected,
                           double tolerance = 1e-4) {
    for (const Expect& e : expected) {
        EXPECT_NEAR(record.get(e.channel), e.value, tolerance)
            << kGameDataNames[static_cast<int>(e.channel) - 1];
    }
}

// A file of ../shared/captures, recorded from a game.
inline Bytes readCapture(const std::string& path) {
    std::ifstream file(std::string(TARVELMOND_CAPTURES_DIR) + "/" + path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The little-endian float at `offset` of a recorded packet, decoded here rather than by a reader.
inline double capturedFloat(const Bytes& packet, std::size_t offset) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i)
        bits |= static_cast<std::uint32_t>(packet.at(offset + i)) << (8 * i);
    return std::bit_cast<float>(bits);
}

// One network reader's world: its port on a free local port, a game sending to it, its timer, the
// record and the readers' own states.
struct ReaderHarness {
    ReaderHarness() : portNumber(freeUdpPort()), game(portNumber) {
        EXPECT_EQ(port.openUdpPort(portNumber), 1);
        timer.tick();
    }
    ~ReaderHarness() { port.closeUdpPort(); }

    ReaderContext context() { return {timer, record, onGround}; }

    // Calls the reader until it reports data (1) or a generous deadline passes; returns its last result.
    int readUntilData(const std::function<int()>& read) {
        int result = 0;
        eventually([&] { return (result = read()) != 0; });
        return result;
    }

    // Sends the datagrams and waits until the first of them can be received.
    void deliver(const std::vector<Bytes>& datagrams) {
        for (const auto& datagram : datagrams)
            ASSERT_TRUE(game.send(datagram));
        sleepFor(20ms);  // loopback delivery; the readers never wait
    }

    int portNumber;
    UdpPort port;
    emulator::UdpGameSender game;
    FrameTimer timer;
    TelemetryRecord record;
    std::uint32_t onGround = 0;
    WrcState wrc;
    DirtRallyState dirtRally;
    CondorState condor;
};

}  // namespace tarvelmond::test
