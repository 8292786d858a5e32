#include "games/game_source.h"

#include <cstdlib>
#include <cstring>

#include "simclient/client_api.h"

namespace tarvelmond {

GameSource::GameSource() : simClient(simclient::simClientOperations()) {
    for (FrameTimer& timer : timers)
        timer.tick();
    const GameServices services{probeBuffer, simClient};
    const auto registry = gameRegistry();
    for (std::size_t i = 0; i < readers.size(); ++i)
        readers[i] = registry[i]->makeReader(services);
}

GameReader* GameSource::activeReader() const {
    for (const auto& reader : readers) {
        if (active[reader->identity().id].load(std::memory_order_relaxed)) return reader.get();
    }
    return nullptr;
}

int GameSource::activeSlot() const {
    const GameReader* reader = activeReader();
    return reader != nullptr ? reader->identity().id : -1;
}

int GameSource::groundState() const {
    const int slot = activeSlot();
    return slot < 0 ? -1 : static_cast<int>(onGround[slot]);
}

void GameSource::clearActiveFlags() {
    for (auto& flag : active)
        flag.store(false, std::memory_order_relaxed);
}

GameReader& GameSource::reader(int id) const {
    for (const auto& reader : readers) {
        if (reader->identity().id == id) return *reader;
    }
    std::abort();  // only ids the registry has are asked for
}

int getGameId(const GameSource& source) {
    return source.activeSlot();
}

void getGameName(const GameSource& source, char* buffer) {
    const GameReader* reader = source.activeReader();
    const char* name = reader != nullptr ? reader->identity().displayName : kNoGameName;
    std::memcpy(buffer, name, std::strlen(name) + 1);
}

}  // namespace tarvelmond
