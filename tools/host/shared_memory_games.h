#pragma once
#include <array>
#include <cstddef>

namespace tarvelmond::host {

// The games that publish their telemetry in named shared memory: the blocks the library reads, with
// the size it maps (0: the whole block, whose size the game chooses), the process it also looks for and
// the named event it also opens (nullptr: none).
struct SharedBlock {
    const char* name = nullptr;
    std::size_t size = 0;
};

struct SharedMemoryGame {
    int gameId;  // as getGameID gives it
    std::array<SharedBlock, 2> blocks;
    const char* process;
    const char* event = nullptr;
};

inline constexpr std::array<SharedMemoryGame, 7> kSharedMemoryGames{{
    {3, {{{"Local\\acpmf_physics", 712}, {"Local\\acpmf_graphics", 1320}}}, nullptr},
    {16, {{{"Local\\acpmf_physics", 712}, {}}}, "AssettoCorsaEVO.exe"},
    {4, {{{"$R3E", 39320}, {}}}, "RRRE64.exe"},
    {9, {{{"$pcars2$", 20700}, {}}}, nullptr},
    {10, {{{"Local\\IRSDKMemMapFileName", 0}, {}}}, "iRacingSim64DX11.exe", "Local\\IRSDKDataValidEvent"},
    {14, {{{"Local\\Tarvelmond_rf2_data", 1888}, {}}}, "rFactor2.exe"},
    {17, {{{"SCSTelemetryExample", 177}, {}}}, "eurotrucks2.exe"},
}};

}  // namespace tarvelmond::host
