#pragma once
#include <array>
#include <limits>

#include "games/reader_context.h"
#include "games/shared_memory_slots.h"

// rFactor 2, through the product's plug-in inside the game. parse*() looks only at the bytes it is
// given.
namespace tarvelmond {

struct TelemetryRecord;

inline constexpr double kNoTimeStampSeen = -std::numeric_limits<double>::infinity();

struct RFactor2Slot {
    platform::SharedMemory block;
    bool connected = false;
    double lastTimeStamp = kNoTimeStampSeen;
};

struct Attitude {
    double yawDeg = 0.0, pitchDeg = 0.0, rollDeg = 0.0;
};
// Heading, pitch and roll of the car from its orientation matrix (nine values, row by row).
Attitude rFactor2Attitude(const std::array<double, 9>& m);
// 1 when the time stamp moved forward (it is then remembered) and the record was filled. A time stamp
// that went back (the game restarted its session) is adopted without reading.
int parseRFactor2Block(BlockBytes block, double& lastTimeStamp, TelemetryRecord& record);
int readRFactor2(RFactor2Slot& slot, const ReaderContext& context);

}  // namespace tarvelmond
