#pragma once
#include <array>
#include <cstdint>

namespace tarvelmond::host {

// The games that send their telemetry over UDP, at the port the library listens on for each, and the
// process the library also looks for before it listens for some of them (nullptr: none).
struct UdpGame {
    const char* name;
    int gameId;  // as getGameID gives it
    std::uint16_t libraryPort;
    const char* process;
};

inline constexpr std::array<UdpGame, 8> kUdpGames{{
    {"X-Plane", 0, 4321, nullptr},
    {"DCS World", 1, 4124, "DCS.exe"},
    {"Live for Speed", 13, 4123, "LFS.exe"},
    {"BeamNG.drive", 12, 4444, nullptr},
    {"F1 23 / 24 / 25", 7, 20777, "F1_24.exe"},
    {"DiRT Rally 2.0", 5, 20778, nullptr},
    {"EA SPORTS WRC", 11, 20788, nullptr},
    {"Condor 2", 6, 55278, nullptr},
}};

// While recording, a game sends to its relay port instead: the library's port plus this much, so the
// rig owner has one rule to remember (X-Plane 4321 becomes 14321).
inline constexpr std::uint16_t kRelayPortOffset = 10000;

}  // namespace tarvelmond::host
