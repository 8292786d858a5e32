#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/reader_context.h"
#include "games/telemetry_record.h"
#include "net/udp_port.h"

// What the readers of the games that send UDP datagrams share. Each read*() takes what the game sent
// since the last call and returns 1 when the record holds new data.
namespace tarvelmond {

// The readers that take every waiting datagram stop after this many, so that a flood cannot hold the
// real-time loop. They stop before receiving the next one: what they leave waits whole for the next
// read, and no reader receives a datagram it then drops.
inline constexpr int kMostDatagramsPerRead = 64;

// Hands `first` (already received) and then every further waiting datagram of at least `minimum`
// bytes to `take`, oldest first, up to kMostDatagramsPerRead in all; a shorter one ends the call.
template <typename Take>
void takeWaitingDatagrams(UdpPort& port, std::span<const std::uint8_t> first, std::size_t minimum,
                          Take&& take) {
    take(first);
    for (int taken = 1; taken < kMostDatagramsPerRead; ++taken) {
        const auto datagram = port.receiveDatagram();
        if (datagram.size() < minimum) break;
        take(datagram);
    }
}

}  // namespace tarvelmond
