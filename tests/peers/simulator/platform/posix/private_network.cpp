#include <sched.h>

#include <cstdlib>

#include "private_network.h"

namespace tarvelmond::simulator_peer {

bool enterPrivateNetwork() {
    if (unshare(CLONE_NEWNET) != 0) return false;
    // A pair of virtual interfaces: frames for the other addresses of the network leave one end (to a
    // fixed neighbour, so no address resolution fails them early) and are dropped at the other.
    // NOLINTNEXTLINE(concurrency-mt-unsafe): called while the process has a single thread
    return std::system(
               "ip link set lo up && ip link add tvnet0 type veth peer name tvnet1 && "
               "ip addr add 198.51.100.1/24 dev tvnet0 && ip link set tvnet0 up && ip link set tvnet1 up && "
               "ip neigh add 198.51.100.7 lladdr 02:00:00:00:00:07 dev tvnet0 nud permanent") == 0;
}

}  // namespace tarvelmond::simulator_peer
