#pragma once
#include <string>
#include <vector>

#include "library_api.h"
#include "rig_profile.h"

namespace tarvelmond::host {

// Every filter string of the profile, checked by the library's own parser before anything is
// installed: throws InputError naming the file, line and column of the first string it refuses. The
// check leaves each chain as the profile sets it, so a profile that passes is then installed whole.
void checkFilters(const LibraryApi& api, const offline::RigProfile& profile);

// Sets the library up from the profile as a host does before motion starts: limits, filter chains,
// active axes, belt mix, wind device and motion compensation. The rig is not made ready.
// Returns what the user should know (a wind device that is not there).
std::vector<std::string> installProfile(const LibraryApi& api, const offline::RigProfile& profile);

// The profile's timer mode; after the game-source thread has started, which sets precise pacing itself.
void applyTimerMode(const LibraryApi& api, const offline::RigProfile& profile);

// The output eased to rest: every channel of both profiles switched off, which holds the output where
// it is and fades it over the library's 4 s to the switched-off value, 0.
void fadeToRest(const LibraryApi& api);

}  // namespace tarvelmond::host
