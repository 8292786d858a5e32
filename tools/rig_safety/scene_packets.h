#pragma once
#include <cstdint>

#include "block_publisher.h"
#include "game_packets.h"
#include "rig_setup.h"
#include "scenario_plan.h"

// The scene each game plays, in the game's own published format: a steady pose, with a counter-driven
// wobble in a value no axis takes (a heading, a velocity) so that the data never stands still, and the
// bad datagrams a game sends now and then.
namespace tarvelmond::rig_safety {

enum class Garbage { None, NaN, Infinity, Huge, Length, Degenerate };

Garbage garbageOf(EventKind kind);

// The game's n-th datagram (UDP games).
emulator::Bytes scenePacket(Game game, const SceneValues& scene, std::uint64_t n, Garbage garbage);

// What a shared-memory game publishes.
emulator::BlockScene blockScene(const SceneValues& scene);
emulator::BlockGame blockGameOf(Game game);

int udpPort(Game game);
// The executable a game is found by, or null.
const char* gameProcess(Game game);

}  // namespace tarvelmond::rig_safety
