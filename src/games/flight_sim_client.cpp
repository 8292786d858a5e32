#include "games/flight_sim_client.h"

#include <array>

#include "games/flight_sim_reader.h"
#include "platform/processes.h"

namespace tarvelmond {
namespace {

constexpr std::int32_t kFloat64 = 4;
constexpr std::int32_t kInt64 = 2;
constexpr std::uint32_t kNoDatum = 0xFFFFFFFFu;
constexpr std::uint32_t kUserAircraft = 0;
constexpr std::uint32_t kEverySimFrame = 3;

struct DataEntry {
    const char* variable;
    const char* unit;
    std::int32_t type;
};

// Definition 0: the data block arrives as seventeen 8-byte values in this order.
constexpr std::array<DataEntry, 17> kDefinition = {{
    {"ACCELERATION BODY X", "meter per second squared", kFloat64},
    {"ACCELERATION BODY Y", "meter per second squared", kFloat64},
    {"ACCELERATION BODY Z", "meter per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY X", "radians per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY Y", "radians per second squared", kFloat64},
    {"ROTATION ACCELERATION BODY Z", "radians per second squared", kFloat64},
    {"VELOCITY BODY X", "meter per second", kFloat64},
    {"VELOCITY BODY Y", "meter per second", kFloat64},
    {"VELOCITY BODY Z", "meter per second", kFloat64},
    {"ROTATION VELOCITY BODY X", "radians per second", kFloat64},
    {"ROTATION VELOCITY BODY Y", "radians per second", kFloat64},
    {"ROTATION VELOCITY BODY Z", "radians per second", kFloat64},
    {"PLANE HEADING DEGREES TRUE", "radians", kFloat64},
    {"PLANE BANK DEGREES", "radians", kFloat64},
    {"PLANE PITCH DEGREES", "radians", kFloat64},
    {"GEAR IS ON GROUND", "Bool", kInt64},
    {"SIM ON GROUND", "Bool", kInt64},
}};

struct SystemEvent {
    std::uint32_t number;
    const char* name;
};

constexpr std::array<SystemEvent, 5> kEvents = {
    {{6, "Crashed"}, {7, "Quit"}, {4, "SimStart"}, {5, "SimStop"}, {3, "Sim"}}};

bool complete(const SimClientOps& ops) {
    return ops.clientOpen && ops.clientClose && ops.addToDataDefinition && ops.requestDataOnSimObject &&
           ops.subscribeToSystemEvent && ops.getNextDispatch;
}

// A handle that detection keeps open while nobody reads it: its messages are of no use, but a failed
// connection or a quit among them says the simulator has gone, and such a handle would otherwise pass
// every later detection.
bool idleClientAlive(const SimClientOps& ops, FlightSimSlot& slot) {
    for (int taken = 0; taken < kMostFlightSimMessagesPerRead; ++taken) {
        const std::uint8_t* message = nullptr;
        std::uint32_t size = 0;
        slot.lastResult = ops.getNextDispatch(slot.handle, &message, &size);
        if (slot.lastResult == kSimClientNoMessage) return true;
        if (slot.lastResult < 0) return false;
        if (message != nullptr && classifyFlightSimMessage({message, size}) == FlightSimMessage::Quit)
            return false;
    }
    return true;
}

}  // namespace

bool detectFlightSim(const SimClientOps& ops, FlightSimSlot& slot, const char* ownProcess,
                     const char* otherProcess) {
    if (!complete(ops)) return false;
    if (slot.handle != nullptr && !slot.registered && !idleClientAlive(ops, slot)) closeFlightSim(ops, slot);
    if (slot.handle != nullptr)
        return platform::isProcessRunning(ownProcess) || !platform::isProcessRunning(otherProcess);
    void* handle = nullptr;
    slot.lastResult = ops.clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0);
    if (slot.lastResult < 0 || handle == nullptr) return false;
    slot.handle = handle;
    return platform::isProcessRunning(ownProcess);
}

int connectFlightSim(const SimClientOps& ops, FlightSimSlot& slot) {
    if (slot.handle == nullptr || !complete(ops)) return 0;
    if (slot.registered) return 1;
    for (const DataEntry& entry : kDefinition) {
        slot.lastResult =
            ops.addToDataDefinition(slot.handle, 0, entry.variable, entry.unit, entry.type, 0.0f, kNoDatum);
    }
    slot.lastResult =
        ops.requestDataOnSimObject(slot.handle, 0, 0, kUserAircraft, kEverySimFrame, 0, 0, 0, 0);
    for (const SystemEvent& event : kEvents) {
        slot.lastResult = ops.subscribeToSystemEvent(slot.handle, event.number, event.name);
    }
    // The result of the last subscription decides whether the connection stands.
    if (slot.lastResult != 0) {
        closeFlightSim(ops, slot);
        return 0;
    }
    slot.registered = true;
    return 1;
}

void closeFlightSim(const SimClientOps& ops, FlightSimSlot& slot) {
    if (slot.handle != nullptr && ops.clientClose != nullptr) ops.clientClose(slot.handle);
    slot.handle = nullptr;
    slot.registered = false;
}

}  // namespace tarvelmond
