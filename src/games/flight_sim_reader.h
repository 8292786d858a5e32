#pragma once
#include <cstdint>
#include <span>

// The flight simulators' messages as the reader takes them, one at a time from the client's queue.
namespace tarvelmond {

struct FrameTimer;
struct TelemetryRecord;
struct ReaderContext;
struct SimClientOps;
struct FlightSimSlot;

// What a message means to the reader.
enum class FlightSimMessage : std::uint8_t {
    Other,      // nothing for the reader (another request's data, another event, unknown messages)
    Data,       // the user's aircraft: the record and the on-ground flag were filled
    Exception,  // the server refused something: the reader stops taking messages for this call
    Quit,       // the simulator is quitting (the quit message or the "Quit" event)
};

// The message ids and event number the reader acts on.
inline constexpr std::uint32_t kFlightSimException = 1;
inline constexpr std::uint32_t kFlightSimQuit = 3;
inline constexpr std::uint32_t kFlightSimEvent = 4;
inline constexpr std::uint32_t kFlightSimData = 8;
inline constexpr std::uint32_t kFlightSimQuitEvent = 7;

// Most messages one read takes from the client's queue; the rest wait for the next read, so that a
// flood of messages cannot hold the real-time loop.
inline constexpr int kMostFlightSimMessagesPerRead = 64;

// What a message is, read no further than its bytes (a data message counts only for request 0 with the
// whole block of definition 0).
FlightSimMessage classifyFlightSimMessage(std::span<const std::uint8_t> message);

// Reads one received message, never beyond its bytes: a data message for request 0 that carries the
// whole block of definition 0 fills the record (units and signs of the record's convention) and sets
// the on-ground flag from "SIM ON GROUND", read as the integer it is.
FlightSimMessage parseFlightSimMessage(std::span<const std::uint8_t> message, TelemetryRecord& record,
                                       std::uint32_t& onGround);

// How every read that did not end in a quit finishes, with or without new data: the frame time, then
// the gravity split (the simulator's accelerations come without gravity).
void finishFlightSimRead(FrameTimer& timer, TelemetryRecord& record);

// The reader of slots 2 and 15: takes the waiting messages into the record and returns 1, or 0 when
// the slot has no client (the simulator quit, or its connection failed and was closed here), so that
// the no-data watchdog drops a simulator that has gone.
int readFlightSim(const SimClientOps& ops, FlightSimSlot& slot, const ReaderContext& context);

}  // namespace tarvelmond
