#pragma once
#include <cstdint>
#include <span>

#include "serial/message_queue.h"

namespace tarvelmond {

struct LinkState;

// A UDP controller falls silent after this long without a frame; the link is free again then.
inline constexpr auto kUdpControllerSilence = std::chrono::seconds(8);

// Cuts the controller frames out of one datagram into `queue`; true when at least one was found.
// A frame must arrive whole in one datagram: what is left of a frame at the end is dropped with it.
// Reads nothing beyond the datagram and never allocates.
bool cutControllerDatagram(std::span<const std::uint8_t> datagram, MessageQueue& queue);

// Sets the port the next listen loop binds (a running loop keeps its own) and logs it.
void setUdpListenPort(LinkState& state, std::uint16_t port);

// The UDP listen loop on the calling (host's) thread until stopKestrovane_Thread ends it: every 2 ms
// one datagram from the listen port, cut into controller frames for readMessagemmf. Frames make the
// UDP link live (unless the serial link already carries the controller); from then on only datagrams
// from that controller's address and port count, until 8 s without a frame free the link again and
// drop the motion frames still queued for it. A second call while a loop runs returns at once.
void runUdpListener(LinkState& state);

}  // namespace tarvelmond
