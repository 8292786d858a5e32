#pragma once
#include "engine/motion_engine.h"
#include "serial/link_state.h"
#include "serial/serial_port.h"

namespace tarvelmond {

// The library's process-wide state with one owner: built whole by the first call from any thread, in
// the order below, and taken down at the process's exit in the reverse order, each thread stopped
// before what it uses goes (see process_state.cpp).
struct ProcessState {
    ProcessState() { engine.frameSink = &link; }

    CSerialPort2 controllerPort;  // the controller's serial port
    LinkState link;               // flags and queues of the link to the controller
    MotionEngine engine;          // its thread writes into the link's queues: built after, gone before
};

ProcessState& processState();

}  // namespace tarvelmond
