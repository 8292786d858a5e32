#pragma once
#include <array>

namespace tarvelmond {

inline constexpr int kGameSlots = 18;

enum GameSlot : int {
    kXplane = 0,
    kDcs = 1,
    kMsfs2020 = 2,
    kAssettoCorsa = 3,
    kRaceRoom = 4,
    kDirtRally2 = 5,
    kCondor2 = 6,
    kF1 = 7,
    kNoLimits2 = 8,
    kPcars2 = 9,
    kIRacing = 10,
    kWrc = 11,
    kBeamNg = 12,
    kLfs = 13,
    kRFactor2 = 14,
    kMsfs2024 = 15,
    kAssettoCorsaEvo = 16,
    kEts2 = 17,
};

// Wherever the active slot is looked up, the active flags are tested in this order.
inline constexpr std::array<int, kGameSlots> kSlotPriority = {0, 1, 2, 15, 3,  16, 4,  5,  6,
                                                              7, 8, 9, 10, 11, 12, 13, 14, 17};

// Text that getGameName writes for a slot ("PCAR2/Automobilista2" is the longest: 20 characters).
const char* gameDisplayName(int slot);

inline constexpr const char* kNoGameName = "No Game online";

}  // namespace tarvelmond
