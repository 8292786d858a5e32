#include "games/game_source.h"

#include <cstring>

namespace tarvelmond {

int GameSource::activeSlot() const {
    for (int slot : kSlotPriority) {
        if (active[slot].load(std::memory_order_relaxed)) return slot;
    }
    return -1;
}

int GameSource::groundState() const {
    const int slot = activeSlot();
    return slot < 0 ? -1 : static_cast<int>(onGround[slot]);
}

void GameSource::clearActiveFlags() {
    for (auto& flag : active)
        flag.store(false, std::memory_order_relaxed);
}

int getGameId(const GameSource& source) {
    return source.activeSlot();
}

void getGameName(const GameSource& source, char* buffer) {
    const char* name = gameDisplayName(source.activeSlot());
    std::memcpy(buffer, name, std::strlen(name) + 1);
}

}  // namespace tarvelmond
