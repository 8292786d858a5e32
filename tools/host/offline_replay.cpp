#include "offline_replay.h"

#include "axis_names.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "comparison_plot.h"
#include "library_loader.h"

namespace tarvelmond::host {
namespace {

constexpr double kTickSeconds = 0.002;

std::string exact(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// The final cues of the six axes from the offline replay's cues.csv.
std::array<std::vector<double>, 6> readReplayedAxes(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) {
        throw SessionError(path.string() + ": the offline replay wrote no cues");
    }
    std::string line;
    std::getline(in, line);
    std::vector<std::string> header;
    std::stringstream names(line);
    for (std::string name; std::getline(names, name, ',');) {
        header.push_back(name);
    }
    std::array<std::size_t, 6> columns{};
    for (std::size_t axis = 0; axis < 6; ++axis) {
        const auto found = std::find(header.begin(), header.end(), std::string("final_") + kAxisNames[axis]);
        if (found == header.end()) {
            throw SessionError(path.string() + ": no column final_" + kAxisNames[axis]);
        }
        columns[axis] = static_cast<std::size_t>(found - header.begin());
    }
    std::array<std::vector<double>, 6> axes;
    while (std::getline(in, line)) {
        std::vector<double> values;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) {
            values.push_back(std::strtod(field.c_str(), nullptr));
        }
        for (std::size_t axis = 0; axis < 6; ++axis) {
            axes[axis].push_back(columns[axis] < values.size() ? values[columns[axis]] : NAN);
        }
    }
    return axes;
}

}  // namespace

std::string telemetryCsv(const Session& session) {
    std::string csv = "time_s,on_ground";
    for (const std::string& name : session.telemetryNames) {
        if (!name.empty()) {
            csv += "," + name;
        }
    }
    csv += "\n";
    std::size_t stage = 0;
    for (std::size_t i = 0; i < session.ticks.size(); ++i) {
        // The ground state of the poll that collected this tick.
        while (stage < session.stages.size() && session.stages[stage].ticksBefore <= i) {
            ++stage;
        }
        const bool onGround = stage < session.stages.size() && session.stages[stage].activeProfile == 1;
        csv += exact(static_cast<double>(i) * kTickSeconds) + (onGround ? ",1" : ",0");
        const TickRecord& tick = session.ticks[i];
        for (std::size_t slot = 0; slot < session.telemetryNames.size(); ++slot) {
            if (!session.telemetryNames[slot].empty()) {
                csv += "," + exact(slot < tick.telemetry.size() ? tick.telemetry[slot] : 0.0);
            }
        }
        csv += "\n";
    }
    return csv;
}

int replayOffline(const Session& session, const std::string& profilePath, const std::string& outDir,
                  std::FILE* out) {
    if (session.ticks.empty()) {
        throw SessionError("the recording holds no ticks to replay");
    }
    const std::filesystem::path dir(outDir);
    std::filesystem::create_directories(dir / "offline");
    const std::filesystem::path telemetry = dir / "telemetry.csv";
    std::ofstream(telemetry, std::ios::binary) << telemetryCsv(session);

#if defined(_WIN32)
    const std::string tool = programFolder() + "offline_cue.exe";
#else
    const std::string tool = programFolder() + "offline_cue";
#endif
    std::string command = quoted(tool) + " --telemetry " + quoted(telemetry.string()) + " --profile " +
                          quoted(profilePath) + " --out " + quoted((dir / "offline").string()) + " --quiet";
#if defined(_WIN32)
    command = "\"" + command + "\"";  // cmd /c takes one quoted command line
#endif
    std::fflush(out);
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the host runs no other thread while it replays
    if (std::system(command.c_str()) != 0) {
        std::fprintf(out, "the offline replay (%s) failed\n", tool.c_str());
        return 1;
    }

    AxisSeries recorded{"recorded", {}};
    for (const TickRecord& tick : session.ticks) {
        for (std::size_t axis = 0; axis < 6; ++axis) {
            recorded.axes[axis].push_back(axis < tick.cues.size() ? tick.cues[axis] : NAN);
        }
    }
    AxisSeries replayed{"replayed with " + profilePath, readReplayedAxes(dir / "offline" / "cues.csv")};
    std::fprintf(out, "%-13s %24s %24s %12s %12s\n", "axis", "recorded min..max", "replayed min..max",
                 "max diff", "rms diff");
    for (std::size_t axis = 0; axis < 6; ++axis) {
        const std::vector<double>& a = recorded.axes[axis];
        const std::vector<double>& b = replayed.axes[axis];
        const std::size_t count = std::min(a.size(), b.size());
        double largest = 0.0;
        double squares = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            largest = std::max(largest, std::fabs(a[i] - b[i]));
            squares += (a[i] - b[i]) * (a[i] - b[i]);
        }
        const auto [aLow, aHigh] = std::minmax_element(a.begin(), a.end());
        const auto [bLow, bHigh] = std::minmax_element(b.begin(), b.end());
        char recordedRange[40];
        char replayedRange[40];
        std::snprintf(recordedRange, sizeof recordedRange, "%.3f..%.3f", *aLow, *aHigh);
        std::snprintf(replayedRange, sizeof replayedRange, "%.3f..%.3f", b.empty() ? 0.0 : *bLow,
                      b.empty() ? 0.0 : *bHigh);
        std::fprintf(out, "%-13s %24s %24s %12.6f %12.6f\n", kAxisNames[axis], recordedRange, replayedRange,
                     largest, count > 0 ? std::sqrt(squares / static_cast<double>(count)) : 0.0);
    }
    std::ofstream(dir / "compare.svg", std::ios::binary) << comparisonSvg(recorded, replayed);
    std::fprintf(out, "wrote %s (both runs), %s and %s\n", (dir / "compare.svg").string().c_str(),
                 telemetry.string().c_str(), (dir / "offline" / "cues.csv").string().c_str());
    return 0;
}

}  // namespace tarvelmond::host
