#pragma once
#include <cstdint>

namespace tarvelmond {

struct LinkState;

// Sets the group the next sender sends to when `text` is a dotted quad (decimal parts, at most 255
// each); otherwise keeps the group and port it has. Either way the result is logged.
void setMulticastGroup(LinkState& state, const char* text, std::uint16_t port);

// The multicast sender on the calling (host's) thread until stopKestrovane_Thread ends it, a send
// fails, or it cannot start (no wired Ethernet adapter, no socket). It binds to the preferred wired
// adapter's address, sends through that adapter, and every 2 ms sends each host message waiting in
// the UDP send queue (with its CRC in place of 0x0A 0x0D) and the front automatic message (with the
// CRC only for firmware that checks it; a lone one repeats on 11 or 12 passes), one per datagram.
// Nothing goes while the interface is paused or the serial link carries the controller. It starts
// with no motion frame left from before, and its end ends nothing else.
void runMulticastSender(LinkState& state);

}  // namespace tarvelmond
