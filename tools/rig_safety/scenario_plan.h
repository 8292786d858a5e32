#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rig_setup.h"

// What one scenario does, decided entirely by its seed before anything runs: the game, the rig's
// settings, and a list of events at times from the scenario's start. The same seed and options give
// the same plan on every machine and platform.
namespace tarvelmond::rig_safety {

enum class EventKind {
    GameAppears,  // the game starts sending (the first time, possibly long after the thread)
    GameStalls,   // the game stops delivering data and keeps running
    GameResumes,
    GameCrashes,  // the game's process is killed and its data stops
    GameReturns,
    BlockCloses,  // a shared-memory game closes its block under the reader
    BlockReopens,
    GarbageNaN,         // a burst of datagrams whose values are not numbers
    GarbageInfinity,    // ... infinite
    GarbageHuge,        // ... finite and absurdly large
    GarbageLength,      // ... of a wrong length
    GarbageDegenerate,  // EA WRC's loading screens: zero direction vectors
    ReadyOff,
    ReadyOn,
    AxisOff,  // setActiveAxis(AIR, channel, false): a hold, and the axis's share goes
    AxisOn,
    HoldStorm,            // a host thread holds again and again at random short intervals
    ChainSwap,            // setcheckFilterstring with another chain for a channel
    ControllerUnplugged,  // the controller's port disappears (pseudo-terminal closed)
    ControllerPlugged,
    ControllerStalls,  // the controller stops reading for a moment; the port's buffer fills
    ControllerHangs,   // ... for longer than the port's 10 s write time-out
    ControllerResumes,
    WindStalls,  // the wind device stops reading
    WindResumes,
    WindUnplugged,
    WindPlugged,
    ThreadStop,  // stopGamesource_Thread from one of the host's threads
    ThreadStart,
    StartStopRace,        // several host threads start and stop the game-source thread at once
    BridgeStop,           // stopKestrovane_Thread
    BridgeStart,          // startKestrovane_Thread on a thread the host lends
    BridgeStartStopRace,  // a stop right after the start call, before the bridge reaches its loop
    CoarsePacing,         // setTimerPrecision(0)
    PrecisePacing,        // setTimerPrecision(1)
    Settle,               // everything back in place; the rig runs undisturbed to the end
};

const char* kindName(EventKind kind);

struct Event {
    double atS = 0.0;
    EventKind kind = EventKind::Settle;
    int channel = 0;     // AxisOff, AxisOn, ChainSwap
    int variant = 0;     // ChainSwap: index into the channel's chains
    double lengthS = 0;  // garbage bursts, hold storms: how long
    // StartStopRace: per host thread its calls (true start, false stop) and the pause before each, us,
    // all threads let go at once; the final call follows once all have returned. BridgeStartStopRace:
    // pauses[0] are the attempts, each how long after the start call the stop comes, ns.
    std::vector<std::vector<bool>> calls;
    std::vector<std::vector<int>> pauses;
    bool finalStart = false;
    int hostThread = 0;  // which host thread makes a single start or stop call
};

enum class Game { DirtRally2, F1, Wrc, Lfs, Truck, Pcars2 };
const char* gameName(Game game);
bool isBlockGame(Game game);
bool hasGameProcess(Game game);  // found by its process as well (a crash ends it)

struct PlanOptions {
    std::set<EventKind> excluded;                          // kinds that expose a fault not yet mended
    std::set<std::pair<Game, EventKind>> excludedForGame;  // ... with one game only
    bool noWind = false;                                   // no wind device at all
    // The game already plays and the rig is ready when the thread starts, so the first connection
    // follows no pause.
    bool gameBeforeThread = false;
    // Holds and chain swaps only once the previous fade has finished.
    bool holdsOnlyWhenSettled = false;
    // Game stalls short enough that the library keeps the connection (no reconnection).
    bool shortStallsOnly = false;
    // Wind intervals of a few milliseconds only (a stop then waits less than its bound).
    bool shortWindIntervals = false;
    double lengthS = 16.0;  // events fall into this span; then the rig settles
    double settleS = 4.5;   // longer than the fade, so the last one is seen to its end
};

struct ScenarioPlan {
    std::uint64_t seed = 0;
    Game game = Game::DirtRally2;
    int gamePeriodUs = 2000;  // how often the game sends or writes
    bool controllerAtWireRate = false;
    int controllerStatusMs = 0;  // the controller reports its status this often (0: never)
    bool wind = false;
    unsigned windIntervalMs = 15;
    int hostStreams = 0;        // host threads that talk to the controller
    int hostMessageGapMs = 20;  // mean pause between two messages of a stream
    RigSetup rig;
    std::vector<Event> events;  // in time order; the last is Settle
    double endS = 0.0;
};

ScenarioPlan planScenario(std::uint64_t seed, const PlanOptions& options);

std::string describe(const Event& event, const RigSetup& rig);
std::string describe(const ScenarioPlan& plan);  // the settings and every event, one per line

}  // namespace tarvelmond::rig_safety
