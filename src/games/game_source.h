#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "basics/frame_timer.h"
#include "games/flight_sim_client.h"
#include "games/game_table.h"
#include "games/reader_states.h"
#include "games/shared_memory_slots.h"
#include "games/telemetry_record.h"
#include "net/udp_port.h"

namespace tarvelmond {

// The eighteen game slots and the record their readers fill. At most one active flag is set; the
// host's getters read the flags from other threads, hence atomics. Everything else belongs to the
// game-source thread.
struct GameSource {
    static constexpr std::size_t kProbeBufferSize = 5045;

    GameSource();
    GameSource(const GameSource&) = delete;
    GameSource& operator=(const GameSource&) = delete;

    std::array<std::atomic<bool>, kGameSlots> active{};
    // Each reader's on-ground flag (1: the aircraft is on the ground). Only flight simulators set it.
    std::array<std::uint32_t, kGameSlots> onGround{};
    // Each reader's frame timer; ticked once at construction so the first frame measures from then.
    std::array<FrameTimer, kGameSlots> timers;

    // The UDP slots' ports, built when the slot first connects (building one opens the log file).
    std::array<std::optional<UdpPort>, kGameSlots> udpPorts;
    // Scratch of the detection probes.
    std::array<std::uint8_t, kProbeBufferSize> probeBuffer{};

    WrcState wrc;
    DirtRallyState dirtRally;
    CondorState condor;
    NoLimitsState noLimits;
    SimClientOps simClient;  // the flight simulator's client (simclient::simClientOperations())
    FlightSimSlot msfs2020;
    FlightSimSlot msfs2024;
    SharedMemorySlots sharedMemory;

    TelemetryRecord record;

    int activeSlot() const;   // first active slot in priority order, or -1
    int groundState() const;  // on-ground flag of the active slot, or -1 with no active slot
    void clearActiveFlags();
};

int getGameId(const GameSource& source);
// Writes the active slot's display name, or "No Game online", NUL-terminated.
void getGameName(const GameSource& source, char* buffer);

// The UDP telemetry port of a slot, or 0 for slots that do not use UDP.
int udpGamePort(int slot);

// Probes the slots in their fixed order and sets the active flag of the first game found: 1, or 0
// with every flag clear. `keepSearching`, when given, is checked between the steps so that a stop
// request ends a pass early.
int detectGame(GameSource& source, const std::atomic<bool>* keepSearching = nullptr);
// Opens the active slot's telemetry channel: 1 when it is open.
int connectGame(GameSource& source);
// Closes the active slot's channel and clears its flag: 1, or 0 when no slot was active.
int disconnectGame(GameSource& source);
// Releases what detection may have left open beside the active slot (the flight simulator's client
// handles) and waits until the client's threads have ended; the game-source thread calls it when it
// ends.
void releaseIdleChannels(GameSource& source);
// Whether MSFS2020, connected and standing still for long, is to keep its connection: detection runs
// again and must find it, and a client that detection opened afresh (the simulator came back) is
// registered. When it is not kept, its client is closed too, whichever slot detection left active.
bool keepPausedSimulator(GameSource& source, const std::atomic<bool>* keepSearching);

// Runs the active slot's reader: 1 when the record holds new data, 0 otherwise (also with no slot).
int readGameFrame(GameSource& source);

}  // namespace tarvelmond
