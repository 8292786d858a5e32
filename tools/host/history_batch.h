#pragma once
#include <string>
#include <vector>

#include "library_api.h"

namespace tarvelmond::host {

// What the library recorded since the host last asked: the game data (43 doubles) and the cue record
// (23 doubles) of each worked tick, oldest first, copied out of the library's blocks.
struct HistoryBatch {
    static constexpr int kTelemetrySlots = 43;
    static constexpr int kCues = 23;
    // The library keeps at most this many records: a batch this full may have lost the oldest.
    static constexpr int kHistoryLimit = 150;

    std::vector<double> telemetry;  // count × 43
    std::vector<double> cues;       // count × 23
    int telemetryCount = 0;
    int cueCount = 0;

    // Takes both histories. The game data first: a tick that lands between the two calls then shows up
    // as one cue record more, whose game data comes with the next batch, so pairing by order holds.
    static HistoryBatch take(const LibraryApi& api);
};

// The names of the 43 game-data slots, as the library gives them ("" where it names none).
std::vector<std::string> telemetryNames(const LibraryApi& api);

}  // namespace tarvelmond::host
