#pragma once
#include "telemetry_table.h"

namespace tarvelmond::offline {

// The built-in recording: a light aircraft's flight (see flight_plan.h) as a flight-simulator reader
// would fill the record, one row per 2 ms, with engine vibration, runway rumble and light turbulence.
// Always the same rows.
TelemetryTable builtInFlight();

}  // namespace tarvelmond::offline
