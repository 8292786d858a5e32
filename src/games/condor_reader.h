#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "games/udp_datagrams.h"

// Condor 2's text datagrams; parse*() reads nothing beyond the bytes it is given.
namespace tarvelmond {

inline constexpr std::size_t kCondorMinimum = 42;

// The last value received under each key; keys absent from a datagram keep feeding theirs.
struct CondorState {
    static constexpr std::size_t kFloatKeys = 33;
    static constexpr std::size_t kHudCapacity = 256;

    std::array<float, kFloatKeys> values{};  // in the order of condorFloatKeys()
    std::array<char, kHudCapacity> hudMessages{};
    std::size_t hudLength = 0;
    std::int32_t flaps = 0;
};

// The keys of CondorState::values, in order.
const std::array<const char*, CondorState::kFloatKeys>& condorFloatKeys();

void parseCondorDatagram(std::span<const std::uint8_t> datagram, CondorState& state);
void fillCondorRecord(const CondorState& state, TelemetryRecord& record);
int readCondor(UdpPort& port, const ReaderContext& context, CondorState& state);

}  // namespace tarvelmond
