#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "games/telemetry_record.h"
#include "platform/sockets.h"

// What some readers keep between calls beyond their port, timer and on-ground flag.
namespace tarvelmond {

// EA WRC: the previous packet's game time and angles (radians), for the rates; valid only after a
// packet with a usable attitude (not the first one, not after a loading screen's empty vectors).
struct WrcState {
    bool previousAttitude = false;
    double time = 0.0;
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
};

// DiRT Rally 2.0's standard output: the previous packet's stage time, angles (radians) and world
// velocity, for the rates and the vertical acceleration; valid only after a packet with an attitude.
struct DirtRallyState {
    bool previousValid = false;
    double time = 0.0;
    double yaw = 0.0, pitch = 0.0, roll = 0.0;
    std::array<double, 3> velocity{};
};

// Condor 2: the last value received under each key; keys absent from a datagram keep feeding theirs.
struct CondorState {
    static constexpr std::size_t kFloatKeys = 33;
    static constexpr std::size_t kHudCapacity = 256;

    std::array<float, kFloatKeys> values{};  // in the order of condorFloatKeys()
    std::array<char, kHudCapacity> hudMessages{};
    std::size_t hudLength = 0;
    std::int32_t flaps = 0;
};

// The keys of CondorState::values, in order.
const std::array<const char*, CondorState::kFloatKeys>& condorFloatKeys();

struct Quaternion {
    double w = 0.0, x = 0.0, y = 0.0, z = 0.0;
};

// NoLimits 2: the TCP connection, bytes of a reply still incomplete, and the filters that turn the
// orientation stream into rates and the accelerations into velocities.
struct NoLimitsState {
    static constexpr std::size_t kPendingCapacity = 2048;
    static constexpr std::size_t kReceiveChunk = 1000;

    platform::SocketLibrary library;
    platform::Socket socket;
    bool connected = false;

    std::array<std::uint8_t, kPendingCapacity> pending{};
    std::size_t pendingLength = 0;

    std::int32_t lastState = 0;
    std::int32_t lastFrame = 0;
    bool haveFrame = false;
    Quaternion previous;  // zero until the first reply
    std::array<double, 3> filteredAccel{};
    std::array<double, 3> velocity{};
    std::array<int, 3> stillCount{};
    std::array<double, 3> filteredRate{};
};

}  // namespace tarvelmond
