#include "diagnosis.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "lent_bridge_thread.h"

namespace tarvelmond::host {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

template <typename Done>
bool waitUntil(std::chrono::milliseconds limit, Done done) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

}  // namespace

int showGames(const LibraryApi& api, std::chrono::milliseconds wait, std::FILE* out) {
    std::fprintf(out, "looking for a running game for %.1f s...\n",
                 static_cast<double>(wait.count()) / 1000.0);
    std::fflush(out);
    api.startGamesource_Thread();
    const bool found = waitUntil(wait, [&] { return api.getGameID() >= 0; });
    char name[32] = {};
    api.getGameName(name);
    const int id = api.getGameID();
    api.stopGamesource_Thread();
    if (!found) {
        std::fprintf(out,
                     "no game detected. Is the game running, with its telemetry output switched on "
                     "(see the README's game settings)?\n");
        return 1;
    }
    std::fprintf(out, "detected: %s (slot %d)\n", name, id);
    return 0;
}

int showPorts(const LibraryApi& api, std::chrono::milliseconds wait, std::FILE* out) {
    // Read before the bridge starts: no other thread of this process touches the environment yet.
    const char* declared = std::getenv("TARVELMOND_PORT_IDENTITY");  // NOLINT(concurrency-mt-unsafe)
    std::fprintf(out, "declared identities (TARVELMOND_PORT_IDENTITY): %s\n",
                 declared != nullptr && *declared != '\0' ? declared : "none");
    std::fprintf(out,
                 "the library's automatic scan (CH340, FT232R, CP210x and SAM3X ports that answer the "
                 "identification), %.1f s; the ports it lists follow:\n",
                 static_cast<double>(wait.count()) / 1000.0);
    std::fflush(out);
    std::optional<LentBridgeThread> bridge(std::in_place, api);
    api.enableAutoconnect();
    const bool found = waitUntil(wait, [&] { return api.isConnected() == 1; });
    bridge.reset();
    std::fflush(stdout);  // the library's own lines come first
    std::fprintf(out, found ? "a controller answered: the rig is ready to run\n"
                            : "no controller answered. Is it plugged in and powered, and is its chip one of "
                              "the four (or its identity declared)?\n");
    return found ? 0 : 1;
}

}  // namespace tarvelmond::host
