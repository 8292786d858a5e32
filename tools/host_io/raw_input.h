#pragma once
#include <cstdint>
#include <span>
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

// Bytes of a shared block, at their offset in it.
struct ByteRun {
    std::uint32_t offset = 0;
    std::vector<std::uint8_t> bytes;

    bool operator==(const ByteRun&) const = default;
};

// A shared-memory block at a new frame of the game's: the runs of bytes that changed since the block's
// frame before (a block's first frame is one run over all of it). A game rewrites a small part of a
// large block per frame (iRacing one of its three value buffers in a block of 1.1 MiB), so a frame
// takes about as much room as what the game wrote.
struct RawBlock {
    double seconds = 0.0;
    std::string name;
    std::uint32_t size = 0;  // the whole block's
    std::vector<ByteRun> runs;

    // One run over all of the block.
    bool whole() const {
        return runs.size() == 1 && runs.front().offset == 0 && runs.front().bytes.size() == size;
    }
    bool operator==(const RawBlock&) const = default;
};

// The largest block a recording holds (iRacing's, the largest, is 1.1 MiB).
inline constexpr std::uint32_t kMaxBlockSize = 16u << 20;

// Writes the frame's runs into `image`, the block as it was before the frame; what lies beyond the
// image's end is left out.
void applyBlockFrame(const RawBlock& frame, std::span<std::uint8_t> image);
// The same, with the image first sized to the block.
void applyBlockFrame(const RawBlock& frame, std::vector<std::uint8_t>& image);

// The frame that turns `before` into `after`: the runs where they differ (runs fewer than a few equal
// bytes apart are joined, as each run costs its offset and length), or one run over all of `after`
// when the two differ in size (a first frame: `before` empty) or the runs would take more room.
RawBlock blockFrameBetween(std::string name, double seconds, std::span<const std::uint8_t> before,
                           std::span<const std::uint8_t> after);

}  // namespace tarvelmond::hostio
