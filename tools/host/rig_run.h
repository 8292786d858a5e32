#pragma once
#include <cstdio>
#include <functional>

#include "command_line.h"
#include "history_batch.h"
#include "library_api.h"
#include "rig_profile.h"

namespace tarvelmond::host {

// Drives the rig from the running game until a stop is asked for (or the run's time is up), then eases
// it to rest and stops in order. Returns the process's exit status.
//
// Order at the start: the profile is installed, the bridge runs on a thread of this host's, the port is
// scanned for (or the fixed one connected), the game-source thread starts, and only then the rig is
// made ready. At the stop: every channel is switched off so the output fades from where it is to rest
// over 4 s, the rig is made not ready, the game-source thread and then the bridge are stopped, and the
// bridge's thread is joined before the library may go.
//
// `observe`, when given, receives every batch of the library's histories, the last one after the
// game-source thread has stopped, so it sees every worked tick of the run.
//
// `finished`, when given, is asked at every poll whether the run is over (a replay that has played
// everything), which then stops as on Ctrl-C.
//
// The status line also counts the errors the library writes to its log file from the start on, with the
// newest one's text.
using HistoryObserver = std::function<void(double seconds, const HistoryBatch& batch)>;
int runRig(const LibraryApi& api, const offline::RigProfile& profile, const RunOptions& options,
           std::FILE* out, const HistoryObserver& observe = {}, const std::function<bool()>& finished = {});

}  // namespace tarvelmond::host
