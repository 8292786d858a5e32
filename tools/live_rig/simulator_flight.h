#pragma once
#include <filesystem>
#include <map>
#include <string>

#include "fake_game_process.h"
#include "fake_simulator.h"
#include "game_feed.h"
#include "xplane_flight.h"

namespace tarvelmond::rig {

// The simulator's body accelerations arrive without gravity and are copied into the record as they
// came: the three slots that tell its data messages apart.
inline constexpr KeySlots kSimulatorKey = {Channel::lateral_accel, Channel::longitu_accel,
                                           Channel::vertica_accel};

// One row of the flight as the simulator's data definition carries it: body axes, radians, the
// simulator's signs.
std::map<std::string, double> simulatorFrame(const FlightRows& flight, std::size_t row);

// MSFS2024 playing the flight: the fake simulator serves the client protocol on 127.0.0.1 and sends a
// data message per simulation frame (about 60 a second) with the row shown last; a stand-in process
// carries the simulator's executable name; SimConnect.cfg in a folder of its own, made the current
// directory while the feed lives, tells the library where the simulator listens.
class SimulatorFeed final : public GameFeed {
  public:
    SimulatorFeed(const FlightRows& flight, LatencyMatcher& matcher);
    ~SimulatorFeed() override;
    SimulatorFeed(const SimulatorFeed&) = delete;
    SimulatorFeed& operator=(const SimulatorFeed&) = delete;

    int slot() const override;
    std::string description() const override { return "MSFS2024"; }
    std::string problem() const override;
    void show(std::size_t row) override;
    // The flight is over: the simulator sends no more data.
    void close() override { simulator_.holdData(true); }

    std::uint16_t port() const { return simulator_.ipv4Port(); }

  private:
    const FlightRows& flight_;
    simulator_peer::FakeSimulator simulator_;
    emulator::FakeGameProcess process_;
    std::filesystem::path previousDirectory_;
    std::filesystem::path configFolder_;
};

}  // namespace tarvelmond::rig
