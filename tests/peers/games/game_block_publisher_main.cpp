// A game that publishes its telemetry in shared memory, for the tests and the game emulator:
//   game_block_publisher <game> <control block>
// <game>: assetto, assetto-evo, raceroom, pcars2, iracing, rfactor2 or truck. The control block,
// created by the caller, holds what the game reports and what it does (block_publisher.h).
#include <cstdio>
#include <string>

#include "block_publisher.h"

int main(int argc, char** argv) {
    using namespace tarvelmond::emulator;
    const auto game = argc > 2 ? blockGameByName(argv[1]) : std::nullopt;
    if (!game) {
        std::fprintf(stderr, "usage: %s <game> <control block>\n", argv[0]);
        return 2;
    }
    return runBlockPublisher(*game, argv[2]);
}
