// Which game runs: the slots are tested in a fixed order and the first one found becomes active.
#include <chrono>

#include "basics/frame_timer.h"
#include "games/game_source.h"
#include "games/nolimits_link.h"
#include "games/udp_probe.h"
#include "platform/processes.h"

namespace tarvelmond {
namespace {

constexpr auto kPauseBetweenTests = std::chrono::milliseconds(10);

bool probe(GameSource& source, int slot) {
    return probeUdpPort(udpGamePort(slot), source.probeBuffer);
}

// A game found by its process that also has to be sending: the first of the names that runs decides.
bool probeIfRunning(GameSource& source, int slot, std::initializer_list<const char*> processNames) {
    for (const char* name : processNames) {
        if (platform::isProcessRunning(name)) return probe(source, slot);
    }
    return false;
}

struct DetectionStep {
    int slot;
    bool (*test)(GameSource&);
};

constexpr DetectionStep kSteps[] = {
    {kXplane, [](GameSource& s) { return probe(s, kXplane); }},
    {kDcs,
     [](GameSource& s) {
         return probeIfRunning(s, kDcs, {"DCS.exe", "DCS64.exe"});
     }},
    {kMsfs2020,
     [](GameSource& s) {
         return detectFlightSim(s.simClient, s.msfs2020, kMsfs2020Process, kMsfs2024Process);
     }},
    {kMsfs2024,
     [](GameSource& s) {
         return detectFlightSim(s.simClient, s.msfs2024, kMsfs2024Process, kMsfs2020Process);
     }},
    {kAssettoCorsa, [](GameSource&) { return detectAssettoCorsa(); }},
    {kAssettoCorsaEvo, [](GameSource&) { return detectAssettoCorsaEvo(); }},
    {kRaceRoom, [](GameSource&) { return detectRaceRoom(); }},
    {kDirtRally2, [](GameSource& s) { return probe(s, kDirtRally2); }},
    {kCondor2, [](GameSource& s) { return probe(s, kCondor2); }},
    {kF1,
     [](GameSource& s) {
         return probeIfRunning(s, kF1,
                               {"F1_23.exe", "F1_23_64.exe", "F1_24.exe", "F1_24_64.exe", "F1_25.exe"});
     }},
    {kNoLimits2, [](GameSource&) { return noLimitsHandshake(); }},
    {kPcars2, [](GameSource&) { return detectPcars2(); }},
    {kIRacing, [](GameSource& s) { return detectIRacing(s.sharedMemory.iRacing); }},
    {kWrc, [](GameSource& s) { return probe(s, kWrc); }},
    {kBeamNg, [](GameSource& s) { return probe(s, kBeamNg); }},
    {kLfs,
     [](GameSource& s) {
         return probeIfRunning(s, kLfs, {"LFS.exe", "LFS64.exe"});
     }},
    {kRFactor2, [](GameSource& s) { return detectRFactor2(s.sharedMemory.rFactor2); }},
    {kEts2, [](GameSource&) { return detectTruck(); }},
};

}  // namespace

int detectGame(GameSource& source, const std::atomic<bool>* keepSearching) {
    constexpr std::size_t kCount = std::size(kSteps);
    for (std::size_t i = 0; i < kCount; ++i) {
        if (keepSearching != nullptr && !keepSearching->load()) break;
        const DetectionStep& step = kSteps[i];
        if (step.test(source)) {
            source.active[step.slot].store(true);
            for (int slot = 0; slot < kGameSlots; ++slot) {  // exactly one flag stays set
                if (slot != step.slot) source.active[slot].store(false);
            }
            return 1;
        }
        source.active[step.slot].store(false);
        if (i + 1 < kCount) sleepFor(kPauseBetweenTests);
    }
    source.clearActiveFlags();
    return 0;
}

}  // namespace tarvelmond
