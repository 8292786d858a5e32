#pragma once

namespace tarvelmond::host {

// Ctrl-C, Ctrl-Break, a closed console window or a terminal's hang-up and termination signals ask the
// host to stop; it then eases the rig to rest and stops in order. Installed once, by main, before any
// thread starts (the library's threads included).
void installShutdownRequest();

// How many times a stop was asked for (a second Ctrl-C cuts the fade short).
int shutdownRequests();

// Called by the host when its orderly stop is complete: a console close waits for it, because the
// system ends the process as soon as the close handler returns.
void shutdownComplete();

}  // namespace tarvelmond::host
