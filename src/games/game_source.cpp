#include "games/game_source.h"

#include <cstring>

#include "simclient/client_api.h"

namespace tarvelmond {

GameSource::GameSource() : simClient(simclient::simClientOperations()) {
    for (FrameTimer& timer : timers)
        timer.tick();
}

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

int udpGamePort(int slot) {
    switch (slot) {
        case kXplane:
            return 4321;
        case kDcs:
            return 4124;
        case kDirtRally2:
            return 20778;
        case kCondor2:
            return 55278;
        case kF1:
            return 20777;
        case kWrc:
            return 20788;
        case kBeamNg:
            return 4444;
        case kLfs:
            return 4123;
        default:
            return 0;
    }
}

}  // namespace tarvelmond
