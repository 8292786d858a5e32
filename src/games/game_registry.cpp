#include "games/game_registry.h"

#include <algorithm>

namespace tarvelmond {

// Defined in each game's reader file.
extern const GameEntry kXplaneGame, kDcsGame, kMsfs2020Game, kMsfs2024Game, kAssettoCorsaGame,
    kAssettoCorsaEvoGame, kRaceRoomGame, kDirtRally2Game, kCondor2Game, kF1Game, kNoLimits2Game, kPcars2Game,
    kIRacingGame, kWrcGame, kBeamNgGame, kLfsGame, kRFactor2Game, kEts2Game;

namespace {

// Detection order: when two games are found at once, the earlier one wins.
constexpr const GameEntry* kDetectionOrder[] = {
    &kXplaneGame,   &kDcsGame,          &kMsfs2020Game,
    &kMsfs2024Game, &kAssettoCorsaGame, &kAssettoCorsaEvoGame,
    &kRaceRoomGame, &kDirtRally2Game,   &kCondor2Game,
    &kF1Game,       &kNoLimits2Game,    &kPcars2Game,
    &kIRacingGame,  &kWrcGame,          &kBeamNgGame,
    &kLfsGame,      &kRFactor2Game,     &kEts2Game,
};
static_assert(std::size(kDetectionOrder) == kGameCount);

}  // namespace

std::span<const GameEntry* const> gameRegistry() {
    return kDetectionOrder;
}

const GameIdentity* findGame(int id) {
    const auto* entry = std::find_if(std::begin(kDetectionOrder), std::end(kDetectionOrder),
                                     [id](const GameEntry* e) { return e->identity.id == id; });
    return entry == std::end(kDetectionOrder) ? nullptr : &(*entry)->identity;
}

const char* gameDisplayName(int id) {
    const GameIdentity* identity = findGame(id);
    return identity != nullptr ? identity->displayName : kNoGameName;
}

int udpGamePort(int id) {
    const GameIdentity* identity = findGame(id);
    return identity != nullptr ? identity->udpPort : 0;
}

}  // namespace tarvelmond
