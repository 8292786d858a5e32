#include "games/game_table.h"

namespace tarvelmond {
namespace {
constexpr std::array<const char*, kGameSlots> kDisplayNames = {
    "Xplane",          "DCS",
    "MSFS2020",        "AssettoCorsa/Comp.",
    "RaceRoom",        "DirtRally2",
    "Condor2",         "F1-2023-24",
    "NoLimits2",       "PCAR2/Automobilista2",
    "iRacing",         "WRC23",
    "BeamNG",          "LFS",
    "rFactor2",        "MSFS2024",
    "AssettoCorsaEvo", "ETSM2/AMT",
};
}  // namespace

const char* gameDisplayName(int slot) {
    return slot >= 0 && slot < kGameSlots ? kDisplayNames[slot] : kNoGameName;
}

}  // namespace tarvelmond
