#pragma once
// What the host tests share: the program started as a rig owner starts it, a light rig profile, the
// X-Plane flight of the game emulator, the virtual controller and the fades in a recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "peers/games/game_packets.h"
#include "peers/games/udp_game_sender.h"
#include "peers/virtual_controller.h"
#include "platform/process_info.h"
#include "session_file.h"

namespace tarvelmond::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr int kXplanePort = 4321;
inline constexpr double kRigLimit = 10.0;

// The input and rig limits of the test profiles.
inline const std::string kProfileLimits = R"toml(
[limits.input]
roll = [-90.0, 90.0]
pitch = [-90.0, 90.0]

[limits.rig]
lateral = [-10.0, 10.0]
longitudinal = [-10.0, 10.0]
vertical = [-10.0, 10.0]
yaw = [-10.0, 10.0]
roll = [-10.0, 10.0]
pitch = [-10.0, 10.0]
)toml";

// A light rig profile: the roll and pitch positions move the rig (they hold still on a steady attitude,
// so the rig is well away from rest when the stop comes), the rates add a little.
inline const std::string kProfile = R"toml([air.filters]
roll = "CROP(GAIN(EMALP(VALUE;10);0.3);-10;10)"
pitch = "CROP(GAIN(EMALP(VALUE;10);0.3);-10;10)"
roll_position = "CROP(GAIN(EMALP(VALUE;20);0.4);-8;8)"
pitch_position = "CROP(GAIN(EMALP(VALUE;20);0.5);-8;8)"
)toml" + kProfileLimits;

// A folder of this test program's own for the files it hands the host, so that runs of the host tests
// from other checkouts on the machine (which share the temporary folder) never meet them.
inline const fs::path& testFolder() {
    static const fs::path folder = [] {
        const fs::path path =
            fs::temp_directory_path() / ("tarvelmond_host_tests_" + std::to_string(std::random_device{}()));
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

// Where the host's standard output and error go.
inline fs::path hostOutputFile() {
    return testFolder() / "host_output.txt";
}

inline std::string hostProgram() {
    const std::string self = platform::executablePath();
    const std::string directory = self.substr(0, self.find_last_of("/\\") + 1);
#if defined(_WIN32)
    return directory + "tarvelmond-host.exe";
#else
    return directory + "tarvelmond-host";
#endif
}

inline std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

inline std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct HostResult {
    int status = -1;
    std::string output;  // standard output and error together
};

// Runs the host to its end; natively a SIGINT after `interruptAfter` (when given) ends it.
inline HostResult runHost(const std::string& arguments,
                          std::optional<std::chrono::milliseconds> interruptAfter = {}) {
    const fs::path outputFile = hostOutputFile();
    std::string command = quoted(hostProgram()) + " " + arguments;
#if !defined(_WIN32)
    if (interruptAfter) {
        command = "timeout --preserve-status -s INT " +
                  std::to_string(static_cast<double>(interruptAfter->count()) / 1000.0) + " " + command;
    }
#else
    (void)interruptAfter;
#endif
    command += " > " + quoted(outputFile.string()) + " 2>&1";
#if defined(_WIN32)
    command = "\"" + command + "\"";  // cmd /c takes one quoted command line
#endif
    const int raw = std::system(command.c_str());  // NOLINT(concurrency-mt-unsafe): one at a time
    HostResult result;
#if defined(_WIN32)
    result.status = raw;
#else
    result.status = raw >= 0 && (raw & 0x7f) == 0 ? (raw >> 8) & 0xff : -1;
#endif
    result.output = fileText(outputFile);
    return result;
}

inline fs::path writeProfile(const std::string& name, const std::string& text) {
    const fs::path path = testFolder() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// An aircraft in a steady bank and climb with a gentle wobble, so the data never stands still.
inline emulator::Bytes flightPacket(std::uint64_t n) {
    const double t = static_cast<double>(n) * 0.004;
    const auto pitch = static_cast<float>(8.0 + std::sin(t * 1.3));
    const auto roll = static_cast<float>(12.0 + 2.0 * std::sin(t * 0.7));
    const auto heading = static_cast<float>(std::fmod(t * 5.0, 360.0));
    return emulator::xplanePacket(
        {{17, {pitch, roll, heading}}, {135, {0.1f, 10.0f, 0.0f, 0.5f, 0.2f, 0.1f}}});
}

// What most host tests run against: a virtual controller the library's own scan finds (its names are
// this program's alone, its identity inherited by the host) and an X-Plane flight on the game's port.
struct FlightAndController {
    VirtualController controller{uniqueComNumber(6)};
    emulator::UdpGameSender game{kXplanePort};

    bool start() {
        if (!controller.ready()) return false;
        declarePortIdentity(controller.comNumber());
        game.startGenerated(flightPacket, 4ms);
        return true;
    }
};

inline double largestAxis(const OutputFrame& frame) {
    double largest = 0.0;
    for (float axis : frame.axes) {
        largest = std::max(largest, static_cast<double>(std::fabs(axis)));
    }
    return largest;
}

inline double largestStep(const OutputFrame& before, const OutputFrame& after) {
    double largest = 0.0;
    for (std::size_t i = 0; i < before.axes.size(); ++i) {
        largest = std::max(largest, static_cast<double>(std::fabs(after.axes[i] - before.axes[i])));
    }
    return largest;
}

inline std::vector<OutputFrame> outputFrames(const VirtualController& controller) {
    std::vector<OutputFrame> frames;
    for (const ReceivedMessage& message : controller.received()) {
        if (message.kind == ReceivedMessage::Kind::Output) {
            frames.push_back(decodeOutputFrame(message.bytes));
        }
    }
    return frames;
}

// The first tick whose poll found every AIR stage value 0: the host's stop switched the channels off
// there, and the output began to fade to rest (known to within one poll).
inline std::size_t fadeToRestStart(const host::Session& session) {
    for (const host::StagesRecord& stages : session.stages) {
        const bool moving =
            std::any_of(stages.air.begin(), stages.air.begin() + 10, [](double v) { return v != 0.0; });
        if (!moving && stages.fadePercent < 100.0 && stages.ticksBefore > 2000) return stages.ticksBefore;
    }
    return session.ticks.size();
}

// The first tick after which the live start-up fade had ended (known to within one poll).
inline std::size_t startFadeEnd(const host::Session& session) {
    for (const host::StagesRecord& stages : session.stages) {
        if (stages.fadePercent >= 100.0 && stages.ticksBefore > 0) return stages.ticksBefore;
    }
    return session.ticks.size();
}

}  // namespace tarvelmond::test
