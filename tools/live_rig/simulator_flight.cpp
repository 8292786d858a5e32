#include "simulator_flight.h"

#include <bit>
#include <chrono>
#include <fstream>
#include <numbers>

#include "games/game_registry.h"
#include "latency_matcher.h"

namespace tarvelmond::rig {
namespace {

constexpr double kRadians = std::numbers::pi / 180.0;

std::filesystem::path makeConfigFolder(std::uint16_t port) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tarvelmond-live-rig-" +
                         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "SimConnect.cfg", std::ios::binary)
        << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << port << "\n";
    return folder;
}

DatagramKey keyOfFrame(const std::map<std::string, double>& values) {
    const auto bits = [&](const char* variable) {
        const auto found = values.find(variable);
        return std::bit_cast<std::uint64_t>(found == values.end() ? 0.0 : found->second);
    };
    // In the order of kSimulatorKey: lateral (body X), longitudinal (body Z), vertical (body Y).
    return {{bits("ACCELERATION BODY X"), bits("ACCELERATION BODY Z"), bits("ACCELERATION BODY Y")}};
}

}  // namespace

std::map<std::string, double> simulatorFrame(const FlightRows& flight, std::size_t row) {
    const auto v = [&](Channel channel) { return flight.value(row, channel); };
    const double ground = flight.onGround(row) ? 1.0 : 0.0;
    using enum Channel;
    return {
        {"ACCELERATION BODY X", v(lateral_accel)},
        {"ACCELERATION BODY Y", v(vertica_accel)},
        {"ACCELERATION BODY Z", v(longitu_accel)},
        {"ROTATION ACCELERATION BODY X", -v(pitch_accel) * kRadians},
        {"ROTATION ACCELERATION BODY Y", -v(yaw_accel) * kRadians},
        {"ROTATION ACCELERATION BODY Z", -v(roll_accel) * kRadians},
        {"VELOCITY BODY X", -v(lateral_speed)},
        {"VELOCITY BODY Y", -v(vertica_speed)},
        {"VELOCITY BODY Z", v(longitu_speed)},
        {"ROTATION VELOCITY BODY X", -v(pitch_speed) * kRadians},
        {"ROTATION VELOCITY BODY Y", -v(yaw_speed) * kRadians},
        {"ROTATION VELOCITY BODY Z", -v(roll_speed) * kRadians},
        {"PLANE HEADING DEGREES TRUE", v(yaw_position) * kRadians},
        {"PLANE BANK DEGREES", v(roll_position) * kRadians},
        {"PLANE PITCH DEGREES", -v(pitch_position) * kRadians},
        {"GEAR IS ON GROUND", ground},
        {"SIM ON GROUND", ground},
    };
}

SimulatorFeed::SimulatorFeed(const FlightRows& flight, LatencyMatcher& matcher)
    : flight_(flight),
      process_("FlightSimulator2024.exe"),
      previousDirectory_(std::filesystem::current_path()),
      configFolder_(makeConfigFolder(simulator_.ipv4Port())) {
    std::filesystem::current_path(configFolder_);
    simulator_.setValues(simulatorFrame(flight_, 0));
    simulator_.observeData([&matcher](const std::map<std::string, double>& values) {
        matcher.datagramSent(keyOfFrame(values), Clock::now());
    });
}

SimulatorFeed::~SimulatorFeed() {
    simulator_.observeData(nullptr);
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
    std::filesystem::remove_all(configFolder_, ignored);
}

int SimulatorFeed::slot() const {
    return kMsfs2024;
}

std::string SimulatorFeed::problem() const {
    if (!simulator_.listening()) return "the fake simulator cannot listen on 127.0.0.1";
    if (!process_.started()) return "the stand-in FlightSimulator2024.exe did not start";
    return {};
}

void SimulatorFeed::show(std::size_t row) {
    simulator_.setValues(simulatorFrame(flight_, row));
}

}  // namespace tarvelmond::rig
