#pragma once

namespace tarvelmond::simulator_peer {

// Moves this process (call it while it has one thread) into a network namespace of its own with the
// loopback up and an interface holding 198.51.100.1/24: packets to 198.51.100.7 go out on it and are
// never answered, and nothing leaves the namespace. False where that cannot be done (not root, or not
// Linux).
bool enterPrivateNetwork();

}  // namespace tarvelmond::simulator_peer
