// tarvelmond-host: a ready motion host for rig owners. It loads the library by name (tarvelmond.dll or
// libtarvelmond.so, from beside the program first), installs a rig profile and drives the rig from the
// running game. It uses the library's exports only, so it is also a worked example of the interface.
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "command_line.h"
#include "diagnosis.h"
#include "input_error.h"
#include "library_api.h"
#if TARVELMOND_HOST_LIVE_VIEW
#include "live_view.h"
#endif
#include "offline_replay.h"
#include "profile_file.h"
#include "rig_run.h"
#include "session_recorder.h"
#include "shutdown_request.h"

using namespace tarvelmond;

namespace {

std::unique_ptr<host::Library> loadLibrary() {
    std::string error;
    auto library = host::Library::load(error);
    if (!library) {
        std::fprintf(stderr, "tarvelmond-host: %s\n", error.c_str());
    }
    return library;
}

int runCommand(const host::Command& command) {
    if (command.kind == host::Command::Kind::Games || command.kind == host::Command::Kind::Ports) {
        const auto library = loadLibrary();
        if (!library) {
            return 1;
        }
        return command.kind == host::Command::Kind::Games
                   ? host::showGames(library->api(), command.wait, stdout)
                   : host::showPorts(library->api(), command.wait, stdout);
    }
    if (command.kind == host::Command::Kind::Replay) {
        const host::Session session = host::readSessionFile(command.replay.sessionPath);
        if (!command.replay.offline) {
            // Playing the raw input through the game emulator needs raw input in the recording.
            std::fprintf(stderr,
                         "tarvelmond-host: %s holds no raw game input (this version records none); replay it "
                         "with --offline --profile <file.toml>\n",
                         command.replay.sessionPath.c_str());
            return 1;
        }
        return host::replayOffline(session, command.replay.profilePath, command.replay.outDir, stdout);
    }
    // The profile is read whole before the library is touched: a mistake in it moves nothing.
    const offline::RigProfile profile = offline::readProfileFile(command.run.profilePath);
    for (const std::string& warning : profile.warnings) {
        std::printf("warning: %s\n", warning.c_str());
    }
    const auto library = loadLibrary();
    if (!library) {
        return 1;
    }
    const host::LibraryApi& api = library->api();
#if TARVELMOND_HOST_LIVE_VIEW
    std::optional<host::LiveView> liveView;
    if (command.run.liveView) {
        liveView.emplace(*command.run.liveView, host::telemetryNames(api));
        std::printf("live view on http://%s:%d/\n", command.run.liveView->host.c_str(), liveView->port());
    }
#else
    if (command.run.liveView) {
        std::fprintf(stderr, "tarvelmond-host: this build has no live view (the Linux host has one)\n");
        return 1;
    }
#endif
    std::optional<host::SessionRecorder> recorder;
    if (command.kind == host::Command::Kind::Record) {
        recorder.emplace(api, command.run.recordPath);
    }
    const int status =
        host::runRig(api, profile, command.run, stdout, [&](double seconds, const host::HistoryBatch& batch) {
            if (recorder) {
                recorder->poll(seconds, batch);
            }
#if TARVELMOND_HOST_LIVE_VIEW
            if (liveView) {
                liveView->add(seconds, batch, api.getProfilAirTransitionStatus(),
                              api.getProfilGrdTransitionStatus(), api.getTransitionStatus());
            }
#endif
        });
    if (recorder) {
        std::printf("recorded %llu ticks in %s\n", static_cast<unsigned long long>(recorder->ticksWritten()),
                    command.run.recordPath.c_str());
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    host::Command command;
    try {
        command = host::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "tarvelmond-host: %s\n%s", error.what(), host::kUsage);
        return 2;
    }
    if (command.kind == host::Command::Kind::Help) {
        std::fputs(host::kUsage, stdout);
        return 0;
    }
    host::installShutdownRequest();
    int status = 1;
    try {
        status = runCommand(command);
    } catch (const offline::InputError& error) {
        std::fprintf(stderr, "tarvelmond-host: error: %s\n", error.what());
    } catch (const host::SessionError& error) {
        std::fprintf(stderr, "tarvelmond-host: error: %s\n", error.what());
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "tarvelmond-host: a library thread failed: %s\n", error.what());
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "tarvelmond-host: %s\n", error.what());
    }
    host::shutdownComplete();
    return status;
}
