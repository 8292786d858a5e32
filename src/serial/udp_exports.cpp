// The network link's flat exports: the UDP listen loop and its port, the multicast sender and its group.
#include <tarvelmond.h>

#include "serial/link_state.h"
#include "serial/multicast_sender.h"
#include "serial/udp_listener.h"

using namespace tarvelmond;

extern "C" {

void setUDPport(uint16_t port) {
    setUdpListenPort(link(), port);
}

void startUPDListenThread(void) {
    runUdpListener(link());
}

void setMulticastAddr(const char* address, uint16_t port) {
    setMulticastGroup(link(), address, port);
}

void startUPDMulticastSenderThread(void) {
    runMulticastSender(link());
}

}  // extern "C"
