// The live rig: the built-in flight played as X-Plane (or as MSFS2024 through its client protocol, or a
// recorded stage as the game sent it), the product loaded by name as a motion host loads it, and a virtual
// motion controller that the product's automatic port scan finds and drives (or, with --link udp, a
// controller on the network that the listen loop hears and the multicast sender drives). Shows a status line
// while it runs, then a summary, and writes a plot of the six axes as the controller received them. Usage:
// see `usage` below.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "builtin_profile.h"
#include "cue_plot.h"
#include "dof_names.h"
#include "latency_matcher.h"
#include "net/dotted_quad.h"
#include "network_rig_session.h"
#include "product_host.h"
#include "profile_file.h"
#include "replay.h"
#include "rig_session.h"
#include "rig_statistics.h"
#include "scenario.h"
#include "simulator_flight.h"
#include "stage_replay.h"
#include "xplane_flight.h"

using namespace tarvelmond;
using namespace tarvelmond::rig;
using namespace std::chrono_literals;

namespace {

struct Options {
    bool quiet = false;
    std::string outDir = "out/live";
    int com = 4;
    std::string game = "xplane";
    std::string link = "serial";
    std::string adapter = "192.0.2.1";            // the wired adapter the network controller listens on
    std::string replay;                           // a recording the emulator knows, instead of the flight
    std::string captures = "../shared/captures";  // the folder of recordings, from the repository root
    double seconds = 0.0;                         // of the recording; 0: all of it
};

constexpr const char* kUsage =
    "usage: live_rig [--quiet] [--out DIR] [--game xplane|msfs2024] [--com N]\n"
    "                [--link serial|udp] [--adapter A.B.C.D]\n"
    "                [--replay NAME [--seconds N] [--captures DIR]]\n";

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quiet") {
            options.quiet = true;
        } else if (a == "--out" && i + 1 < argc) {
            options.outDir = argv[++i];
        } else if (a == "--com" && i + 1 < argc) {
            options.com = std::atoi(argv[++i]);
        } else if (a == "--game" && i + 1 < argc) {
            options.game = argv[++i];
        } else if (a == "--link" && i + 1 < argc) {
            options.link = argv[++i];
        } else if (a == "--adapter" && i + 1 < argc) {
            options.adapter = argv[++i];
        } else if (a == "--replay" && i + 1 < argc) {
            options.replay = argv[++i];
        } else if (a == "--captures" && i + 1 < argc) {
            options.captures = argv[++i];
        } else if (a == "--seconds" && i + 1 < argc) {
            options.seconds = std::atof(argv[++i]);
        } else {
            return false;
        }
    }
    return options.com > 0 && (options.game == "xplane" || options.game == "msfs2024") &&
           (options.link == "serial" || options.link == "udp") && parseDottedQuad(options.adapter) &&
           options.seconds >= 0.0;
}

// Plays the game: the first row until the game is seen, then the row of the moment every period of the
// feed, as a game sends what its current frame shows.
class FlightPlayer {
  public:
    FlightPlayer(GameFeed& feed, std::size_t rows) : feed_(feed), rows_(rows) {
        thread_ = std::thread([this] { run(); });
    }
    ~FlightPlayer() {
        stop_.store(true);
        thread_.join();
    }
    void takeOff() {
        start_ = Clock::now();
        started_.store(true);
    }
    Clock::time_point start() const { return start_; }
    bool finished() const { return finished_.load(); }
    std::size_t rowAt(Clock::time_point t) const {
        if (!started_.load() || t < start_) return 0;
        return std::min(rows_ - 1, static_cast<std::size_t>((t - start_) / 2ms));
    }

  private:
    void run() {
        auto next = Clock::now();
        while (!stop_.load()) {
            const auto now = Clock::now();
            std::size_t row = 0;
            if (started_.load()) {
                row = static_cast<std::size_t>((now - start_) / 2ms);
                if (row >= rows_) {
                    feed_.close();  // the game is closed: nothing more comes
                    finished_.store(true);
                    return;
                }
            }
            feed_.show(row);
            next += feed_.period();
            std::this_thread::sleep_until(next);
        }
    }

    GameFeed& feed_;
    const std::size_t rows_;
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> stop_{false};
    Clock::time_point start_{};
    std::thread thread_;
};

// Takes the library's two histories and pairs their records tick by tick (both are appended in the
// same step of every tick, so the n-th record of one belongs with the n-th of the other).
class HistoryReader {
  public:
    explicit HistoryReader(ProductHost& host) : host_(host) {}
    template <typename Sink>
    void poll(Sink&& sink) {
        take(host_.calculationSnapshots, 23, cues_);
        take(host_.accelerationSnapshots, 43, gameData_);
        const std::size_t ticks = std::min(cues_.size() / 23, gameData_.size() / 43);
        for (std::size_t t = 0; t < ticks; ++t)
            sink(cues_.data() + 23 * t, gameData_.data() + 43 * t);
        cues_.erase(cues_.begin(), cues_.begin() + static_cast<std::ptrdiff_t>(23 * ticks));
        gameData_.erase(gameData_.begin(), gameData_.begin() + static_cast<std::ptrdiff_t>(43 * ticks));
    }

  private:
    void take(double* (*get)(int*), std::size_t width, std::vector<double>& into) {
        int count = 0;
        double* block = get(&count);
        if (block == nullptr) return;
        into.insert(into.end(), block, block + static_cast<std::size_t>(count) * width);
        host_.freeSnapshots(block);
    }

    ProductHost& host_;
    std::vector<double> cues_;
    std::vector<double> gameData_;
};

std::string gameName(ProductHost& host) {
    char name[32] = {};
    host.gameName(name);
    return name;
}

std::string platformName() {
#ifdef _WIN32
    return "the Windows DLL";
#else
    return "the Linux library";
#endif
}

int fail(const std::string& message) {
    std::fprintf(stderr, "live_rig: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 4096);
    auto say = [&](const std::string& text) {
        if (!options.quiet) std::printf("%s\n", text.c_str());
    };

    ProductHost host;
    if (!host.error().empty()) return fail(host.error());
    const bool simulator = options.game == "msfs2024";
    std::optional<emulator::KnownRecording> recording;
    emulator::RecordedStream stage;
    if (!options.replay.empty()) {
        recording = emulator::knownRecording(options.replay);
        if (!recording)
            return fail("no recording named " + options.replay +
                        " (known: " + emulator::knownRecordingNames() + ")");
        const std::string file = options.captures + "/" + std::string(recording->file);
        stage = emulator::loadRecordedStream(file, *recording);
        if (stage.datagrams.empty()) return fail("cannot read the recording " + file);
    }
    // The simulator's feed makes a folder of its own the current directory: the output goes where
    // the user meant.
    options.outDir = std::filesystem::absolute(options.outDir).string();
    say("Tarvelmond live rig: " + std::string(ProductHost::fileName()) + " (" + platformName() +
        ") drives a virtual motion controller from " +
        (recording   ? std::string(recording->description)
         : simulator ? "a simulated MSFS2024 flight (the client protocol, through the fake simulator)"
                     : "a simulated X-Plane flight"));

    const offline::RigProfile profile =
        offline::parseProfileFile(offline::builtInProfileText(), "the built-in rig profile");
    std::array<std::array<float, 2>, 6> limits{};
    for (std::size_t k = 0; k < 6; ++k) {
        const auto limit = profile.rigLimits[k].value_or(offline::Limit{0.0, 0.0});
        limits[k] = {static_cast<float>(limit.min), static_cast<float>(limit.max)};
    }

    std::unique_ptr<ControllerLink> link;
    if (options.link == "udp") {
        link = std::make_unique<NetworkRigSession>(host, *parseDottedQuad(options.adapter));
        if (!link->controllerReady())
            return fail("the network controller cannot join its multicast group on the adapter " +
                        options.adapter +
                        " (scripts/run.sh --native --link udp makes a network that has it)");
    } else {
        link = std::make_unique<RigSession>(host, options.com);
        if (!link->controllerReady())
            return fail("cannot create the virtual controller's port COM" + std::to_string(options.com));
    }
    ControllerLink& session = *link;
    say("  " + session.describe());
    const auto scanStart = Clock::now();
    if (!session.connect(60s))
        return fail(options.link == "udp"
                        ? "the network controller never had the link (is a wired adapter up?)"
                        : "the automatic scan found no controller");
    if (!options.quiet) std::printf("\n");  // the scan prints the ports it lists without a line end
    say("  " + session.connectedBy() + " connected the controller after " +
        std::to_string(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - scanStart).count()) +
        " ms");

    std::string error;
    if (!host.install(profile, error)) return fail(error);
    const offline::TelemetryTable table = offline::builtInFlight();
    const XplaneFlight flight(table);
    LatencyMatcher matcher(limits, recording ? kDirtRallyKey : simulator ? kSimulatorKey : kXplaneKey);
    std::unique_ptr<GameFeed> feed;
    const PlayedTimeline* timeline = &flight;
    if (recording) {
        auto stageFeed = std::make_unique<StageReplayFeed>(stage, *recording, options.seconds, matcher);
        say("  the recorded datagrams go to 127.0.0.1:" + std::to_string(recording->port) +
            " at their recorded pace");
        timeline = stageFeed.get();
        feed = std::move(stageFeed);
    } else if (simulator) {
        auto simulatorFeed = std::make_unique<SimulatorFeed>(flight, matcher);
        say("  fake simulator on 127.0.0.1:" + std::to_string(simulatorFeed->port()) +
            " (SimConnect.cfg in the current directory), stand-in process FlightSimulator2024.exe");
        feed = std::move(simulatorFeed);
    } else {
        feed = std::make_unique<XplaneFeed>(flight, matcher);
    }
    if (const std::string problem = feed->problem(); !problem.empty()) return fail(problem);
    FlightPlayer player(*feed, timeline->rows());
    host.startGameSource();
    host.ready(1);
    const auto searchStart = Clock::now();
    while (host.gameId() != feed->slot()) {
        if (Clock::now() - searchStart > 30s) return fail("the library did not detect the game");
        std::this_thread::sleep_for(5ms);
    }
    player.takeOff();
    const std::string game = gameName(host);
    say("  " + game + " detected after " +
        std::to_string(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - searchStart).count()) +
        " ms; the " + (recording ? "stage" : "flight") + " begins (" +
        std::to_string(static_cast<int>(timeline->durationS())) + " s)");

    offline::PlotRecorder plot(timeline->rows());
    RigStatistics stats(limits);
    HistoryReader histories(host);
    std::ostringstream csv;
    csv << "time_s,lateral,longitudinal,vertical,yaw,roll,pitch,belt\n";
    std::size_t nextMessage = 0;  // from the handshake on
    auto lastStatus = Clock::now();
    std::string status;
    for (;;) {
        const auto now = Clock::now();
        const double air = host.airPercent();
        const double ground = host.groundPercent();
        const bool fading = host.fadePercent() < 100.0;
        histories.poll([&](const double* cues, const double* gameData) { matcher.addTick(cues, gameData); });
        const auto messages = session.receivedFrom(nextMessage);
        nextMessage += messages.size();
        for (const test::ReceivedMessage& m : messages) {
            stats.message(m);
            if (m.kind != test::ReceivedMessage::Kind::Output || m.arrival < player.start()) continue;
            const test::OutputFrame frame = test::decodeOutputFrame(m.bytes);
            matcher.addFrame(frame.axes, m.arrival);
            const double t = std::chrono::duration<double>(m.arrival - player.start()).count();
            const auto tick = static_cast<std::size_t>(t / offline::kTickSeconds);
            std::array<double, offline::PlotRecorder::kSeries> values{};
            for (std::size_t k = 0; k < 6; ++k)
                values[k] = frame.axes[k];
            values[6] = air / 100.0;
            values[7] = ground / 100.0;
            plot.add(tick, values, timeline->onGround(player.rowAt(m.arrival)), fading);
            csv << t;
            for (float axis : frame.axes)
                csv << ',' << axis;
            csv << ',' << frame.belt << '\n';
        }
        matcher.match();
        stats.weights(std::chrono::duration<double>(now - player.start()).count(), ground);
        if (now - lastStatus >= 250ms) {
            lastStatus = now;
            status = stats.statusLine(std::chrono::duration<double>(now - player.start()).count(), game, air,
                                      ground, matcher.samples(), now);
            if (!options.quiet) std::printf("\r%s", status.c_str());
            std::fflush(stdout);
        }
        if (player.finished() &&
            now - player.start() > std::chrono::duration<double>(timeline->durationS()) + 500ms)
            break;
        std::this_thread::sleep_for(20ms);
    }
    session.stop();
    stats.crcFailures(session.crcFailures());
    if (!options.quiet) std::printf("\n\n");

    namespace fs = std::filesystem;
    const fs::path out = options.outDir;
    fs::create_directories(out);
    const fs::path svgPath = out / "rig_axes.svg";
    const fs::path csvPath = out / "received_frames.csv";
    {
        std::ofstream svg(svgPath, std::ios::binary | std::ios::trunc);
        offline::writeCuePlot(
            svg, plot,
            "Axes as the controller received them: " +
                (recording ? feed->description() : "built-in flight played as " + feed->description()) +
                " through " + std::string(ProductHost::fileName()),
            {"axis", "axis received by the controller (one panel per axis)",
             recording ? "time (s) since the stage began" : "time (s) since the flight began"});
        std::ofstream frames(csvPath, std::ios::binary | std::ios::trunc);
        frames << csv.str();
    }
    const RigStatistics::Verdict verdict = stats.verdict();
    if (options.quiet) {
        std::printf("live_rig: %s\n", stats.oneLine(matcher.samples()).c_str());
    } else {
        stats.printSummary(stdout, game + ", " + std::string(ProductHost::fileName()), matcher.samples());
        std::printf("\nWrote %s (plot) and %s (every frame).\n", svgPath.generic_string().c_str(),
                    csvPath.generic_string().c_str());
    }
    if (!verdict.ok) return fail(verdict.problem);
    return 0;
}
