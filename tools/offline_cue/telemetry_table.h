#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "games/telemetry_record.h"

namespace tarvelmond::offline {

inline constexpr const char* kOnGroundColumn = "on_ground";
inline constexpr const char* kTimeColumn = "time_s";

// Recorded telemetry, one row per 2 ms tick: the game-data channels that the recording carries (the
// others stay 0 for the whole replay, like channels a game never writes), the on-ground flag of the
// flight simulator, and optionally the time the recorder gave each row.
struct TelemetryTable {
    std::string source;             // where the rows came from, for messages
    std::vector<Channel> channels;  // columns that carry game data, in file order
    std::vector<double> values;     // row-major, channels.size() values per row
    std::vector<std::uint8_t> onGround;
    std::vector<double> timeS;  // one per row, or empty when the recording has no time column

    std::size_t rowCount() const { return onGround.size(); }
    std::span<const double> row(std::size_t index) const {
        return std::span<const double>(values).subspan(index * channels.size(), channels.size());
    }
};

}  // namespace tarvelmond::offline
