#pragma once
#include <array>
#include <cstdint>

namespace tarvelmond::host {

// The games that send their telemetry over UDP, at the port the library listens on for each.
struct UdpGame {
    const char* name;
    std::uint16_t libraryPort;
};

inline constexpr std::array<UdpGame, 8> kUdpGames{{
    {"X-Plane", 4321},
    {"DCS World", 4124},
    {"Live for Speed", 4123},
    {"BeamNG.drive", 4444},
    {"F1 23 / 24 / 25", 20777},
    {"DiRT Rally 2.0", 20778},
    {"EA SPORTS WRC", 20788},
    {"Condor 2", 55278},
}};

// While recording, a game sends to its relay port instead: the library's port plus this much, so the
// rig owner has one rule to remember (X-Plane 4321 becomes 14321).
inline constexpr std::uint16_t kRelayPortOffset = 10000;

}  // namespace tarvelmond::host
