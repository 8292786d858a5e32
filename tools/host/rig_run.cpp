#include "rig_run.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "lent_bridge_thread.h"
#include "library_error_log.h"
#include "profile_setup.h"
#include "shutdown_request.h"
#include "status_line.h"

namespace tarvelmond::host {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPollPeriod = 50ms;
constexpr auto kStatusPeriod = 1s;
// The library fades over 2000 worked ticks: 4 s at 500 Hz, longer on a machine that ticks slower. The
// wait follows the fade's progress and gives up only when the fade stops moving (the game went quiet).
constexpr auto kFadeStall = 5s;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Worked ticks per second, from the library's history of them.
class TickRate {
  public:
    void add(int ticks) { ticks_ += ticks; }
    // Ticks per second since the previous call.
    double rate(Clock::time_point now) {
        const double seconds = std::chrono::duration<double>(now - since_).count();
        const double rate = seconds > 0.0 ? static_cast<double>(ticks_) / seconds : 0.0;
        ticks_ = 0;
        since_ = now;
        return rate;
    }

  private:
    long long ticks_ = 0;
    Clock::time_point since_ = Clock::now();
};

// The fixed port of --port, tried again while it does not answer (each try takes the library about
// 1.5 s, so it runs beside the status line).
class FixedPortConnector {
  public:
    explicit FixedPortConnector(const LibraryApi& api) : api_(api) {
        thread_ = std::thread([this] {
            while (!stop_.load() && api_.isConnected() != 1) {
                if (api_.resumeInterface() != 1) {
                    std::this_thread::sleep_for(500ms);
                }
            }
        });
    }
    ~FixedPortConnector() {
        stop_.store(true);
        thread_.join();
    }
    FixedPortConnector(const FixedPortConnector&) = delete;
    FixedPortConnector& operator=(const FixedPortConnector&) = delete;

  private:
    const LibraryApi& api_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

RigStatus currentStatus(const LibraryApi& api, Clock::time_point start, double ticksPerSecond,
                        const hostio::LibraryErrorLog& errors) {
    char game[32] = {};
    api.getGameName(game);
    return {.elapsedSeconds = secondsSince(start),
            .game = game,
            .airPercent = api.getProfilAirTransitionStatus(),
            .groundPercent = api.getProfilGrdTransitionStatus(),
            .fadePercent = api.getTransitionStatus(),
            .ticksPerSecond = ticksPerSecond,
            .controllerConnected = api.isConnected() == 1,
            .errorsLogged = errors.errors(),
            .newestError = errors.newest()};
}

bool timeIsUp(const RunOptions& options, Clock::time_point start) {
    return options.seconds && secondsSince(start) >= *options.seconds;
}

// Eases the output to rest while the game still feeds ticks; a second stop request cuts it short.
void fadeOut(const LibraryApi& api, std::FILE* out, const std::function<void()>& collect) {
    if (api.getGameID() < 0) {
        return;  // no ticks run without a game, so nothing moves and nothing fades
    }
    std::fprintf(out, "stopping: easing the rig to rest over 4 s (Ctrl-C again to stop at once)\n");
    std::fflush(out);
    const int requestsBefore = shutdownRequests();
    fadeToRest(api);
    double progress = api.getTransitionStatus();
    auto lastProgress = Clock::now();
    while (progress < 100.0 && shutdownRequests() == requestsBefore && api.getGameID() >= 0 &&
           Clock::now() - lastProgress < kFadeStall) {
        std::this_thread::sleep_for(10ms);
        collect();
        if (const double now = api.getTransitionStatus(); now != progress) {
            progress = now;
            lastProgress = Clock::now();
        }
    }
    if (progress >= 100.0) {
        std::fprintf(out, "the rig is at rest\n");
    } else {
        std::fprintf(out, "the fade ended at %.0f %% (%s)\n", progress,
                     api.getGameID() < 0                    ? "the game went away"
                     : shutdownRequests() != requestsBefore ? "stopped at once on request"
                                                            : "the fade stopped moving");
    }
    // One tick more, so the frame of the finished fade has gone out before the rig is made not ready.
    std::this_thread::sleep_for(20ms);
}

}  // namespace

int runRig(const LibraryApi& api, const offline::RigProfile& profile, const RunOptions& options,
           std::FILE* out, const HistoryObserver& observe, const std::function<bool()>& finished) {
    hostio::LibraryErrorLog errors;  // from the log's end now: what the library writes from here on
    for (const std::string& warning : installProfile(api, profile)) {
        std::fprintf(out, "warning: %s\n", warning.c_str());
    }
    if (options.port && api.setStandartPort(options.port->c_str()) != 1) {
        std::fprintf(stderr, "tarvelmond-host: the library does not take the port \"%s\"\n",
                     options.port->c_str());
        return 1;
    }

    std::optional<LentBridgeThread> bridge(std::in_place, api);
    std::optional<FixedPortConnector> connector;
    if (options.port) {
        api.disableAutoconnect();
        connector.emplace(api);
    } else {
        api.enableAutoconnect();
    }
    api.startGamesource_Thread();
    applyTimerMode(api, profile);
    api.setMotionsystemready(1);
    std::fprintf(out, "running with %s; %s. Ctrl-C stops.\n", profile.source.c_str(),
                 options.port ? ("controller on " + *options.port).c_str() : "scanning for the controller");
    std::fflush(out);

    const auto start = Clock::now();
    TickRate ticks;
    const auto collect = [&] {
        const HistoryBatch batch = HistoryBatch::take(api);
        ticks.add(batch.cueCount);
        if (observe) observe(secondsSince(start), batch);
    };
    auto nextStatus = start + kStatusPeriod;
    while (shutdownRequests() == 0 && !timeIsUp(options, start) && !(finished && finished())) {
        std::this_thread::sleep_for(kPollPeriod);
        collect();
        if (const auto now = Clock::now(); now >= nextStatus) {
            errors.poll();
            std::fprintf(out, "%s\n", statusLine(currentStatus(api, start, ticks.rate(now), errors)).c_str());
            std::fflush(out);
            nextStatus += kStatusPeriod;
        }
    }

    fadeOut(api, out, collect);
    api.setMotionsystemready(0);
    api.stopGamesource_Thread();
    collect();  // the last ticks, up to the thread's end
    connector.reset();
    bridge.reset();
    if (profile.motionCompensation && profile.motionCompensation->enabled) {
        api.activateMotionCancel(false);
    }
    std::fprintf(out, "stopped after %.1f s\n", secondsSince(start));
    std::fflush(out);
    return 0;
}

}  // namespace tarvelmond::host
