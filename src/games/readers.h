#pragma once
#include <cstdint>
#include <span>

#include "games/reader_context.h"
#include "games/reader_states.h"
#include "net/udp_port.h"

// The readers of the network games. Each read*() takes what the game sent since the last call and
// returns 1 when the record holds new data; each parse*() decodes one datagram or reply into the
// record and reads nothing beyond the bytes it is given.
namespace tarvelmond {

struct TelemetryRecord;

// Shortest datagrams the readers take; anything shorter is skipped.
inline constexpr std::size_t kXplaneMinimum = 42;
inline constexpr std::size_t kDirtRallyMinimum = 2;
inline constexpr std::size_t kDirtRallyMotionSize = 96;
inline constexpr std::size_t kDirtRallyStandardSize = 264;
inline constexpr std::size_t kF1MotionSize = 1349;
inline constexpr std::size_t kF1MotionEx2023Size = 217;
inline constexpr std::size_t kF1MotionEx2024Size = 237;
inline constexpr std::size_t kF1MotionEx2025Size = 273;
inline constexpr std::size_t kWrcMinimum = 121;
inline constexpr std::size_t kBeamNgMinimum = 88;
inline constexpr std::size_t kLfsMinimum = 280;
inline constexpr std::size_t kDcsMinimum = 2;
inline constexpr std::size_t kCondorMinimum = 42;

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

void parseXplaneDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record,
                         std::uint32_t& onGround);
int readXplane(UdpPort& port, const ReaderContext& context);

void parseDirtRallyDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record,
                            DirtRallyState& state);
int readDirtRally(UdpPort& port, const ReaderContext& context, DirtRallyState& state);

void parseF1Datagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readF1(UdpPort& port, const ReaderContext& context);

void parseWrcDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record, WrcState& state);
int readWrc(UdpPort& port, const ReaderContext& context, WrcState& state);

// false when the datagram is not a motion packet (wrong tag); such a datagram ends the call's filling.
bool parseBeamNgDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readBeamNg(UdpPort& port, const ReaderContext& context);

void parseLfsDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readLfs(UdpPort& port, const ReaderContext& context);

void parseDcsDatagram(std::span<const std::uint8_t> datagram, TelemetryRecord& record);
int readDcs(UdpPort& port, const ReaderContext& context);

void parseCondorDatagram(std::span<const std::uint8_t> datagram, CondorState& state);
void fillCondorRecord(const CondorState& state, TelemetryRecord& record);
int readCondor(UdpPort& port, const ReaderContext& context, CondorState& state);

// Applies one telemetry reply's 76 data bytes: 1 when it carried a new frame.
int applyNoLimitsTelemetry(std::span<const std::uint8_t> data, NoLimitsState& state, TelemetryRecord& record);
int readNoLimits(NoLimitsState& state, const ReaderContext& context);

}  // namespace tarvelmond
