#pragma once
#include <chrono>

namespace tarvelmond {

// The serial bridge's loop on the calling (host's) thread: every 2 ms it writes the queued messages
// to the controller's port, reads and cuts what the controller sent, and scans for the port while
// none is connected. Holds "Tarvelmond_tx" and "Tarvelmond_rx" while it runs. Returns 1 when stopped;
// a second call while a loop runs returns 1 at once (the running loop goes on). Starts and stops from
// any threads, in any order, leave the bridge as the last of them asked: a start issued while a stop
// still waits keeps the loop running (or runs the next one once the closing loop has ended).
int runBridge();

// Asks the bridge and the UDP loops to end and waits for them; returns at once when none runs, and
// also when a later start takes over.
void stopBridge();
// The same, waiting at most `limit`: true once none runs.
bool stopBridgeWithin(std::chrono::milliseconds limit);

}  // namespace tarvelmond
