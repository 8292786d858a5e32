#pragma once
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "raw_input.h"

// The recording of a session (.tmr): what the library computed on every worked tick, with the game's
// telemetry it computed from. Layout, all numbers little-endian, doubles as IEEE 754 binary64:
//
//   header   "TMRSESSN", u16 major version (1), u16 minor version (1), u16 telemetry slots (43),
//            u16 cues (23), then per telemetry slot a u8 length and that many bytes of its name
//            (empty for a slot the library names none)
//   records  until the end of the file, each a u8 kind, a u32 payload length and the payload:
//     1 tick      u64 tick number, the telemetry slots and the cues as doubles (the library's two
//                 histories: the game data, and the final cues with the AIR stage of channels 11-20)
//     2 stages    f64 seconds since the start, i32 active profile (0 air, 1 ground, -1 no game),
//                 f64 output fade in percent, then AIR, GROUND and final cues as doubles: sampled when
//                 the host polls, after the tick records it collected, not per tick
//     3 game      f64 seconds, i32 game id, the game's name (at most 20 bytes)
//     4 datagram  f64 arrival seconds, u16 the game's port (where the library listens for it), the
//                 datagram's bytes (raw game input, at most 65507); written by `record --relay`
//     5 block     f64 seconds, u8 name length, the name, the shared block's bytes (raw game input):
//                 the whole block, at its first frame (and where that is shorter than the changes)
//     6 gap       f64 seconds, u32 ticks lost, 0 when unknown: the host was held up for more than
//                 the library's 150 records of history, which dropped its oldest
//     7 block changes (from minor version 1)
//                 f64 seconds, u8 name length, the name, u32 the block's size (at most 16 MiB),
//                 then runs until the end, each u32 offset, u32 length (at least 1) and that many
//                 bytes, within the block: what changed since the block's frame before
//   A reader skips kinds it does not know by their length, so later minor versions can add kinds.
//   No payload exceeds 16 MiB.
namespace tarvelmond::host {

inline constexpr char kSessionMagic[8] = {'T', 'M', 'R', 'S', 'E', 'S', 'S', 'N'};
inline constexpr std::uint16_t kSessionMajor = 1;
inline constexpr std::uint16_t kSessionMinor = 1;
inline constexpr std::uint32_t kMaxPayload = 16u << 20;
// The largest datagram UDP over IPv4 carries; a longer one could never have been received.
inline constexpr std::size_t kMaxDatagram = 65507;

enum class RecordKind : std::uint8_t {
    Tick = 1,
    Stages = 2,
    Game = 3,
    Datagram = 4,
    Block = 5,
    Gap = 6,
    BlockChanges = 7
};

struct TickRecord {
    std::uint64_t tick = 0;
    std::vector<double> telemetry;  // one per telemetry slot
    std::vector<double> cues;       // one per cue
};

struct StagesRecord {
    double seconds = 0.0;
    std::int32_t activeProfile = 0;
    double fadePercent = 100.0;
    std::vector<double> air, ground, final;
    std::size_t ticksBefore = 0;  // read back: the tick records that came before it in the file
};

struct GameRecord {
    double seconds = 0.0;
    std::int32_t id = -1;
    std::string name;
};

// The game's own input, as the replay plays it back.
using DatagramRecord = hostio::RawDatagram;
using BlockRecord = hostio::RawBlock;

struct GapRecord {
    double seconds = 0.0;
    std::uint32_t lostTicks = 0;
    std::size_t ticksBefore = 0;  // read back: the tick records that came before it in the file
};

struct Session {
    std::uint16_t minorVersion = kSessionMinor;
    std::vector<std::string> telemetryNames;  // one per slot
    std::size_t cueCount = 0;
    std::vector<TickRecord> ticks;
    std::vector<StagesRecord> stages;
    std::vector<GameRecord> games;
    std::vector<DatagramRecord> datagrams;
    std::vector<BlockRecord> blocks;
    std::vector<GapRecord> gaps;
};

// A recording that cannot be read: names the file and the byte where reading failed.
class SessionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads a whole recording from its bytes; every read stays within them. Throws SessionError.
Session parseSession(std::span<const std::uint8_t> bytes, const std::string& source);
Session readSessionFile(const std::string& path);

// Builds a recording: the header, then records appended one by one.
class SessionWriter {
  public:
    SessionWriter(const std::vector<std::string>& telemetryNames, std::size_t cueCount);
    void tick(const TickRecord& record);
    void stages(const StagesRecord& record);
    void game(const GameRecord& record);
    void gap(const GapRecord& record);
    void datagram(const DatagramRecord& record);
    void block(const BlockRecord& record);
    // Takes what was built so far (the caller appends it to the file).
    std::vector<std::uint8_t> take();

  private:
    void record(RecordKind kind, const std::vector<std::uint8_t>& payload);
    std::vector<std::uint8_t> bytes_;
    std::size_t slots_;
    std::size_t cues_;
};

}  // namespace tarvelmond::host
