#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "games/telemetry_record.h"

namespace tarvelmond::rig {

// Which game message a tick of the library read: three values of the message as the library's record
// holds them, bit for bit (for each game the three accelerations it sends). The flight's engine shake
// and turbulence make them differ from message to message.
struct DatagramKey {
    std::array<std::uint64_t, 3> bits{};
    bool operator==(const DatagramKey&) const = default;
};
struct DatagramKeyHash {
    std::size_t operator()(const DatagramKey& key) const {
        return static_cast<std::size_t>(key.bits[0] * 0x9E3779B97F4A7C15ULL ^ key.bits[1] * 31 ^ key.bits[2]);
    }
};
// The three slots of the record that tell a game's messages apart, and the key of a 43-slot game-data
// record by them.
using KeySlots = std::array<Channel, 3>;
DatagramKey keyOfRecord(const double* record, const KeySlots& slots);

}  // namespace tarvelmond::rig
