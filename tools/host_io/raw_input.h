#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The game's own input as a session records it and a replay plays it back.
namespace tarvelmond::hostio {

// A datagram as the game sent it, with its arrival time and the port the library listens on for it.
struct RawDatagram {
    double seconds = 0.0;
    std::uint16_t port = 0;
    std::vector<std::uint8_t> bytes;
};

// A shared-memory block's bytes as the game had written them at a new frame.
struct RawBlock {
    double seconds = 0.0;
    std::string name;
    std::vector<std::uint8_t> bytes;
};

}  // namespace tarvelmond::hostio
