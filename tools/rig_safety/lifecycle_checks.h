#pragma once
#include "product.h"

namespace tarvelmond::rig_safety {

// Starts and stops the library's threads `cycles` times (the serial bridge on a lent thread, connected
// to the virtual controller; the game-source thread, connected to a game, sending frames and starting
// the wind sender), and prints the process's handles (file descriptors natively), threads and resident
// memory before and after. Returns true when they stayed flat.
bool runStartStopSoak(Product& product, int cycles);

// A host that returns from main while everything runs: the game-source thread, the serial bridge on a
// thread the host lent (and never gets back), the wind sender. The process must end cleanly (exit status
// 0, no crash, nothing for a sanitizer to report); the library stops what it runs when it is unloaded.
void leaveRunning(Product& product);

}  // namespace tarvelmond::rig_safety
