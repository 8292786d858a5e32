#pragma once
#include <span>

#include "games/game_reader.h"

// Every game the library reads, by the number hosts know it by, and the order detection tries them in.
namespace tarvelmond {

inline constexpr int kGameCount = 18;

// getGameID's numbers: hosts store them, so a game keeps its number for good.
enum GameId : int {
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

inline constexpr const char* kNoGameName = "No Game online";

// The games in detection order, which is also the order in which the active game is looked up.
std::span<const GameEntry* const> gameRegistry();

// The identity of the game with this id, or null.
const GameIdentity* findGame(int id);
// Text that getGameName writes for a game ("PCAR2/Automobilista2" is the longest: 20 characters), or
// "No Game online" for an id no game has.
const char* gameDisplayName(int id);
// The game's UDP telemetry port, or 0 for games that do not send UDP.
int udpGamePort(int id);

}  // namespace tarvelmond
