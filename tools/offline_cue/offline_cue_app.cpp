#include "offline_cue_app.h"

#include <cmath>
#include <fstream>
#include <ostream>
#include <sstream>

#include "builtin_profile.h"
#include "cue_csv.h"
#include "cue_plot.h"
#include "input_error.h"
#include "profile_file.h"
#include "profile_installation.h"
#include "replay.h"
#include "scenario.h"
#include "summary.h"
#include "telemetry_csv.h"
#include "text_file.h"

namespace tarvelmond::offline {
namespace {

namespace fs = std::filesystem;

// The built-in inputs go through the same files a user would write, so the readers are exercised
// and the user gets copies to edit.
RigProfile loadProfile(const Options& options) {
    if (options.profile) return readProfileFile(*options.profile);
    const fs::path path = options.outDir / "builtin_profile.toml";
    writeTextFile(path, std::string(builtInProfileText()));
    return readProfileFile(path);
}

TelemetryTable loadTelemetry(const Options& options) {
    if (options.telemetry) return readTelemetryCsv(*options.telemetry);
    const fs::path path = options.outDir / "builtin_flight.csv";
    std::ostringstream text;
    writeTelemetryCsv(text, builtInFlight());
    writeTextFile(path, text.str());
    return readTelemetryCsv(path);
}

// Rows recorded at another rate still replay at one per tick; say so, as the curves stretch.
void warnAboutTimeColumn(const TelemetryTable& table, std::ostream& err) {
    if (table.timeS.size() < 2) return;
    const double step =
        (table.timeS.back() - table.timeS.front()) / static_cast<double>(table.timeS.size() - 1);
    if (std::abs(step - kTickSeconds) > 0.05 * kTickSeconds) {
        err << "offline_cue: warning: " << table.source << ": time_s advances by " << step * 1000.0
            << " ms per row on average; every row is replayed as one 2 ms tick\n";
    }
}

int replayAndReport(const Options& options, std::ostream& out, std::ostream& err) {
    fs::create_directories(options.outDir);
    const RigProfile profile = loadProfile(options);
    for (const std::string& warning : profile.warnings)
        err << "offline_cue: warning: " << profile.source << ": " << warning << '\n';
    const TelemetryTable table = loadTelemetry(options);
    warnAboutTimeColumn(table, err);

    auto engine = makeReplayEngine();
    installProfile(*engine, profile);

    const fs::path csvPath = options.outDir / "cues.csv";
    const fs::path svgPath = options.outDir / "cues.svg";
    std::ofstream csv(csvPath, std::ios::binary | std::ios::trunc);
    if (!csv) throw std::runtime_error(csvPath.string() + ": cannot write");
    CueCsvWriter writer(csv);
    SummaryCollector summary(profile);
    PlotRecorder plot(table.rowCount());
    replayTelemetry(*engine, table, [&](const TickView& tick) {
        writer.add(tick);
        summary.add(tick);
        plot.add(tick);
    });
    csv.close();
    if (!csv) throw std::runtime_error(csvPath.string() + ": cannot write");

    std::ostringstream svg;
    writeCuePlot(svg, plot, "Final cues: " + table.source + " with " + profile.source);
    writeTextFile(svgPath, svg.str());

    for (const FrozenSpan& span : summary.summary().frozen) {
        err << "offline_cue: warning: " << table.source
            << ": the telemetry stands still from t = " << span.startS << " s to " << span.endS
            << " s; the live thread would freeze the output there, this replay does not\n";
    }
    if (!options.quiet) {
        printSummary(out, summary.summary());
        out << "\nWrote " << csvPath.string() << " and " << svgPath.string() << ".\n";
    } else {
        out << "offline_cue: replayed " << table.rowCount() << " ticks; wrote " << csvPath.string() << " and "
            << svgPath.string() << '\n';
    }
    return kSuccess;
}

}  // namespace

int runOfflineCue(const Options& options, std::ostream& out, std::ostream& err) {
    if (options.help) {
        out << usageText();
        return kSuccess;
    }
    try {
        return replayAndReport(options, out, err);
    } catch (const InputError& error) {
        err << "offline_cue: error: " << error.what() << '\n';
        return kBadInput;
    } catch (const std::exception& error) {
        // Output files that cannot be written: the user's to fix, like bad input.
        err << "offline_cue: error: " << error.what() << '\n';
        return kBadInput;
    }
}

}  // namespace tarvelmond::offline
