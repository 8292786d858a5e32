#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "basics/frame_timer.h"
#include "games/game_reader.h"
#include "games/game_registry.h"
#include "games/telemetry_record.h"
#include "simclient/client_ops.h"

namespace tarvelmond {

// Every game's reader and the record they fill. At most one active flag is set; the host's getters
// read the flags from other threads, hence atomics. Everything else belongs to the game-source thread.
struct GameSource {
    static constexpr std::size_t kProbeBufferSize = 5045;

    GameSource();
    GameSource(const GameSource&) = delete;
    GameSource& operator=(const GameSource&) = delete;

    // By game id.
    std::array<std::atomic<bool>, kGameCount> active{};
    // Each game's on-ground flag (1: the aircraft is on the ground). Only flight simulators set it.
    std::array<std::uint32_t, kGameCount> onGround{};
    // Each game's frame timer; ticked once at construction so the first frame measures from then.
    std::array<FrameTimer, kGameCount> timers;

    // Scratch of the detection probes.
    std::array<std::uint8_t, kProbeBufferSize> probeBuffer{};
    SimClientOps simClient;  // the flight simulator's client (simclient::simClientOperations())
    // One reader per game, in detection order; made once, with the game source.
    std::array<std::unique_ptr<GameReader>, kGameCount> readers;

    TelemetryRecord record;

    GameReader* activeReader() const;  // first active game in detection order, or null
    int activeSlot() const;            // its id, or -1
    int groundState() const;           // on-ground flag of the active game, or -1 with none active
    void clearActiveFlags();
    // The reader of the game with this id (one the registry has).
    GameReader& reader(int id) const;
};

int getGameId(const GameSource& source);
// Writes the active game's display name, or "No Game online", NUL-terminated.
void getGameName(const GameSource& source, char* buffer);

// Tries the games in detection order and sets the active flag of the first one found: 1, or 0 with
// every flag clear. `keepSearching`, when given, is checked between the games so that a stop request
// ends a pass early.
int detectGame(GameSource& source, const std::atomic<bool>* keepSearching = nullptr);
// Opens the active game's telemetry channel: 1 when it is open.
int connectGame(GameSource& source);
// Closes the active game's channel and clears its flag: 1, or 0 when no game was active.
int disconnectGame(GameSource& source);
// Releases what detection may have left open beside the active game (the flight simulator's client
// handles) and waits until the client's threads have ended; the game-source thread calls it when it
// ends.
void releaseIdleChannels(GameSource& source);
// Whether the active game, connected and standing still for long, is to keep its connection (only a
// game that keeps still connections, a paused simulator): detection runs again and must find it, and a
// client that detection opened afresh (the simulator came back) is registered. When it is not kept, its
// idle channel is closed too, whichever game detection left active.
bool keepPausedSimulator(GameSource& source, const std::atomic<bool>* keepSearching);

// Runs the active game's reader: 1 when the record holds new data, 0 otherwise (also with no game).
int readGameFrame(GameSource& source);

}  // namespace tarvelmond
