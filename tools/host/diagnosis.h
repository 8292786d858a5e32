#pragma once
#include <chrono>
#include <cstdio>

#include "library_api.h"

namespace tarvelmond::host {

// A rig owner's first diagnosis, through the library itself: which game its detection finds now...
int showGames(const LibraryApi& api, std::chrono::milliseconds wait, std::FILE* out);

// ...and whether its automatic port scan finds a controller (the ports it tries, the identities
// declared for ports the system cannot identify). Nothing moves: the rig is never made ready.
int showPorts(const LibraryApi& api, std::chrono::milliseconds wait, std::FILE* out);

}  // namespace tarvelmond::host
