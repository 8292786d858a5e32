// Which game runs: the games are tried in detection order and the first one found becomes active.
#include <chrono>

#include "basics/frame_timer.h"
#include "games/game_source.h"

namespace tarvelmond {
namespace {

constexpr auto kPauseBetweenTests = std::chrono::milliseconds(10);

}  // namespace

int detectGame(GameSource& source, const std::atomic<bool>* keepSearching) {
    const std::size_t count = source.readers.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (keepSearching != nullptr && !keepSearching->load()) break;
        GameReader& reader = *source.readers[i];
        const int found = reader.identity().id;
        if (reader.detect()) {
            source.active[found].store(true);
            for (int id = 0; id < kGameCount; ++id) {  // exactly one flag stays set
                if (id != found) source.active[id].store(false);
            }
            return 1;
        }
        source.active[found].store(false);
        if (i + 1 < count) sleepFor(kPauseBetweenTests);
    }
    source.clearActiveFlags();
    return 0;
}

}  // namespace tarvelmond
