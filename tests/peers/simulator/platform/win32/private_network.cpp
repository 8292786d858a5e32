#include "private_network.h"

namespace tarvelmond::simulator_peer {

bool enterPrivateNetwork() {
    return false;
}

}  // namespace tarvelmond::simulator_peer
