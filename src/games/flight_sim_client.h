#pragma once
#include <cstdint>

#include "simclient/client_ops.h"

namespace tarvelmond {

// One flight-simulator slot's client handle; null while closed. `registered` once the connection has
// asked for the data (until the handle is closed).
struct FlightSimSlot {
    void* handle = nullptr;
    std::int32_t lastResult = 0;
    bool registered = false;
};

// Detection. A handle that is open but not yet registered is first checked: one whose connection
// failed or whose simulator quit is closed and opened anew. Without an open handle one is opened (and
// kept open even when the simulator's process is absent), and the slot counts if `ownProcess` runs.
// An open handle counts when `ownProcess` runs, or when `otherProcess` does not (a simulator on
// another machine shows no process): both simulators serve the same port, so with the other one
// running here the handle leads to that one.
bool detectFlightSim(const SimClientOps& ops, FlightSimSlot& slot, const char* ownProcess,
                     const char* otherProcess);
// Connection: registers the data definition, the request and the system events; on failure the
// handle is closed and cleared. 1 or 0; 1 at once for a slot already registered.
int connectFlightSim(const SimClientOps& ops, FlightSimSlot& slot);
void closeFlightSim(const SimClientOps& ops, FlightSimSlot& slot);

}  // namespace tarvelmond
