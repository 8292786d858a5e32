#pragma once
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "peers/virtual_controller.h"

namespace tarvelmond::rig {

// The motion controller the live rig drives, whichever link carries its frames: what the rig needs to
// set it up, wait for the library to take it, read what it received and end the run.
class ControllerLink {
  public:
    virtual ~ControllerLink() = default;

    virtual bool controllerReady() const = 0;
    // One line on where the controller is and how the library finds it.
    virtual std::string describe() const = 0;
    // Starts the library's side of the link and waits until it has the controller.
    virtual bool connect(std::chrono::seconds limit) = 0;
    // What took the controller, for "... connected the controller after N ms".
    virtual std::string connectedBy() const = 0;
    // The messages from index `first` on, in the order they arrived.
    virtual std::vector<test::ReceivedMessage> receivedFrom(std::size_t first) const = 0;
    virtual int crcFailures() const = 0;
    // Stops the game-source thread and the library's link (also done when the link ends).
    virtual void stop() = 0;
};

}  // namespace tarvelmond::rig
