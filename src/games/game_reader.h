#pragma once
#include <cstdint>
#include <memory>
#include <span>

#include "games/reader_context.h"

// One game as the game source sees it: who it is, how it is found, and its channel's life (connect,
// read, disconnect). Every game has one reader of its own, made once per game source; the registry
// holds them in detection order.
namespace tarvelmond {

struct SimClientOps;

// What hosts and tests know a game by. `id` is the number getGameID returns and the display name the
// text getGameName writes; both are stored by hosts and never change.
struct GameIdentity {
    int id = -1;
    const char* displayName = "";
    int udpPort = 0;                              // 0: the game does not send UDP
    std::span<const char* const> blockNames{};    // shared-memory blocks it publishes
    std::span<const char* const> processNames{};  // processes detection looks for (any of them)
};

// What the game source lends its readers: the detection probes' scratch and the flight simulator's
// client functions.
struct GameServices {
    std::span<std::uint8_t> probeBuffer;
    const SimClientOps& simClient;
};

class GameReader {
  public:
    explicit GameReader(const GameIdentity& identity) : identity_(identity) {}
    GameReader(const GameReader&) = delete;
    GameReader& operator=(const GameReader&) = delete;
    virtual ~GameReader() = default;

    const GameIdentity& identity() const { return identity_; }

    // Whether the game is there now. Detection leaves no channel open unless a game keeps one between
    // passes (the flight simulators' client handles).
    virtual bool detect() = 0;
    // Opens the telemetry channel: 1 when it is open.
    virtual int connect() = 0;
    // Takes what the game sent since the last call into the record: nonzero when the record holds new
    // data. Runs on the real-time path: allocates nothing and never blocks.
    virtual int read(const ReaderContext& context) = 0;
    virtual void disconnect() = 0;
    // Whether the reader holds any port, view, mapping or event of its game.
    virtual bool holdsChannel() const = 0;

    // Closes what detection may have left open (the flight simulators' client handles).
    virtual void releaseIdle() {}
    // Whether a connection that stands still for long is kept as long as detection finds the game again
    // (a paused simulator), instead of being dropped.
    virtual bool keepsStillConnection() const { return false; }

  private:
    const GameIdentity& identity_;
};

// How the registry makes each game's reader; each reader's file defines one.
using GameReaderFactory = std::unique_ptr<GameReader>(const GameServices& services);

}  // namespace tarvelmond

namespace tarvelmond {

// A registry entry: the game's identity and how its reader is made. Each reader's file defines one.
struct GameEntry {
    const GameIdentity& identity;
    GameReaderFactory* makeReader;
};

// The factory of a reader built from its game's identity and the services.
template <const GameIdentity& Identity, typename Reader>
std::unique_ptr<GameReader> makeReader(const GameServices& services) {
    return std::make_unique<Reader>(Identity, services);
}

}  // namespace tarvelmond
