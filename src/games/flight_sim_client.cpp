#include "games/flight_sim_client.h"

#include <array>

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

}  // namespace

bool detectFlightSim(const SimClientOps& ops, FlightSimSlot& slot, const char* processName) {
    if (slot.handle != nullptr) return true;
    if (!complete(ops)) return false;
    void* handle = nullptr;
    slot.lastResult = ops.clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0);
    if (slot.lastResult < 0 || handle == nullptr) return false;
    slot.handle = handle;
    return platform::isProcessRunning(processName);
}

int connectFlightSim(const SimClientOps& ops, FlightSimSlot& slot) {
    if (slot.handle == nullptr || !complete(ops)) return 0;
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
    return 1;
}

void closeFlightSim(const SimClientOps& ops, FlightSimSlot& slot) {
    if (slot.handle != nullptr && ops.clientClose != nullptr) ops.clientClose(slot.handle);
    slot.handle = nullptr;
}

}  // namespace tarvelmond
