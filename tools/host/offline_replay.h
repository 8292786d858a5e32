#pragma once
#include <cstdio>
#include <string>

#include "session_file.h"

namespace tarvelmond::host {

// Plays a recorded session's telemetry through the offline cue replay (the offline_cue program beside
// this one) with another profile, and compares its final cues with the recorded ones: a table per
// axis and a plot of both (DIR/compare.svg). The recorded ticks are replayed 2 ms apart, the ground
// state taken from the poll that followed them. Returns the exit status.
int replayOffline(const Session& session, const std::string& profilePath, const std::string& outDir,
                  std::FILE* out);

// The telemetry as the offline replay reads it: time_s, on_ground and every named slot, exactly.
std::string telemetryCsv(const Session& session);

}  // namespace tarvelmond::host
