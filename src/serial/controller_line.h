#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/serial_device.h"

namespace tarvelmond {

// What the link needs of the line to its controller: whole writes, reads bounded by the line's
// time-out, the bytes waiting each way, and closing. The controller's serial port is the line in
// use; a test hands the link one in memory. A call that fails throws CSerialException.
class ControllerLine {
  public:
    virtual ~ControllerLine() = default;
    virtual void write(const std::uint8_t* bytes, std::size_t count) = 0;  // all of them, or it throws
    virtual std::size_t read(std::uint8_t* bytes, std::size_t count) = 0;  // what arrived in time
    virtual platform::PortStatus status() = 0;                             // clears the error state
    virtual void purgeInput() = 0;
    virtual void close() = 0;
};

}  // namespace tarvelmond
