// The active game's channel: opening, reading and closing it.
#include "games/game_source.h"

namespace tarvelmond {

int connectGame(GameSource& source) {
    GameReader* reader = source.activeReader();
    return reader != nullptr ? reader->connect() : 0;
}

int disconnectGame(GameSource& source) {
    GameReader* reader = source.activeReader();
    if (reader == nullptr) return 0;
    reader->disconnect();
    source.active[reader->identity().id].store(false);
    return 1;
}

void releaseIdleChannels(GameSource& source) {
    for (const auto& reader : source.readers)
        reader->releaseIdle();
    if (source.simClient.closeAll != nullptr) source.simClient.closeAll();
}

bool keepPausedSimulator(GameSource& source, const std::atomic<bool>* keepSearching) {
    GameReader* paused = source.activeReader();
    if (paused == nullptr || !paused->keepsStillConnection()) return false;
    const int id = paused->identity().id;
    if (detectGame(source, keepSearching) == 1 && source.activeSlot() == id && connectGame(source) == 1)
        return true;
    paused->releaseIdle();
    return false;
}

int readGameFrame(GameSource& source) {
    GameReader* reader = source.activeReader();
    if (reader == nullptr) return 0;
    const auto id = static_cast<std::size_t>(reader->identity().id);
    const ReaderContext context{source.timers[id], source.record, source.onGround[id]};
    return reader->read(context) != 0 ? 1 : 0;
}

}  // namespace tarvelmond
