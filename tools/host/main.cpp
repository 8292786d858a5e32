// tarvelmond-host: a ready motion host for rig owners. It loads the library by name (tarvelmond.dll or
// libtarvelmond.so, from beside the program first), installs a rig profile and drives the rig from the
// running game. It uses the library's exports only, so it is also a worked example of the interface.
#include <algorithm>
#include <chrono>
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
#include "raw_input_player.h"
#include "rig_run.h"
#include "session_recorder.h"
#include "shared_block_copier.h"
#include "shared_memory_games.h"
#include "shutdown_request.h"
#include "udp_games.h"
#include "udp_relay.h"

using namespace tarvelmond;

namespace {

// How long a replay waits for the library to detect the recorded game before it gives up.
constexpr std::chrono::seconds kDetectionLimit{10};

std::vector<hostio::RelayRoute> relayRoutes() {
    std::vector<hostio::RelayRoute> routes;
    routes.reserve(host::kUdpGames.size());
    for (const host::UdpGame& game : host::kUdpGames) {
        routes.push_back(
            {static_cast<std::uint16_t>(game.libraryPort + host::kRelayPortOffset), game.libraryPort});
    }
    return routes;
}

// The shared blocks the library reads for a game (none for the others).
std::vector<hostio::WatchedBlock> blocksOf(int gameId) {
    std::vector<hostio::WatchedBlock> blocks;
    for (const host::SharedMemoryGame& game : host::kSharedMemoryGames) {
        for (const host::SharedBlock& block : game.blocks) {
            if (game.gameId == gameId && block.name != nullptr) {
                blocks.push_back({block.name, block.size});
            }
        }
    }
    return blocks;
}

// What the library looks for besides the recorded input before it reads the recorded game: its
// process, its named event.
hostio::GameStandIn standInOf(const host::Session& session) {
    const auto recorded = std::find_if(session.games.begin(), session.games.end(),
                                       [](const host::GameRecord& game) { return game.id >= 0; });
    if (recorded == session.games.end()) {
        return {};
    }
    for (const host::UdpGame& game : host::kUdpGames) {
        if (game.gameId == recorded->id && game.process != nullptr) {
            return {.process = game.process};
        }
    }
    for (const host::SharedMemoryGame& game : host::kSharedMemoryGames) {
        if (game.gameId == recorded->id) {
            return {.process = game.process != nullptr ? game.process : "",
                    .event = game.event != nullptr ? game.event : ""};
        }
    }
    return {};
}

std::unique_ptr<host::Library> loadLibrary() {
    std::string error;
    auto library = host::Library::load(error);
    if (!library) {
        std::fprintf(stderr, "tarvelmond-host: %s\n", error.c_str());
    }
    return library;
}

// Runs (and records) the rig; with a player, from the recorded datagrams it plays to the library.
int driveRig(const host::RunOptions& run, hostio::RawInputPlayer* player) {
    // The profile is read whole before the library is touched: a mistake in it moves nothing.
    const offline::RigProfile profile = offline::readProfileFile(run.profilePath);
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
    if (run.liveView) {
        liveView.emplace(*run.liveView, host::telemetryNames(api));
        std::printf("live view on http://%s:%d/\n", run.liveView->host.c_str(), liveView->port());
    }
#else
    if (run.liveView) {
        std::fprintf(
            stderr, "tarvelmond-host: this build has no live view (it was configured without cpp-httplib)\n");
        return 1;
    }
#endif
    std::optional<host::SessionRecorder> recorder;
    if (!run.recordPath.empty()) {
        recorder.emplace(api, run.recordPath);
    }
    std::optional<hostio::UdpRelay> relay;
    if (run.relay) {
        relay.emplace(relayRoutes(), [&](std::uint16_t port, std::span<const std::uint8_t> datagram,
                                         hostio::UdpRelay::Clock::time_point arrival) {
            recorder->queueDatagram(port, datagram, arrival);
        });
        for (const host::UdpGame& game : host::kUdpGames) {
            std::printf("relay: %-16s send to 127.0.0.1:%d (the library listens on %d)\n", game.name,
                        game.libraryPort + host::kRelayPortOffset, game.libraryPort);
        }
    }
    // While recording, the blocks of a shared-memory game are copied at each new frame.
    std::optional<hostio::SharedBlockCopier> copier;
    int copiedGame = -1;
    if (recorder) {
        copier.emplace([&](const hostio::RawBlock& frame, hostio::SharedBlockCopier::Clock::time_point when) {
            recorder->queueBlock(frame, when);
        });
    }
    // A replay sends its first datagram over and over, as a game waiting to be found, and plays the
    // recording from the moment the library has detected the game.
    bool playing = false;
    const auto searchStart = std::chrono::steady_clock::now();
    if (player != nullptr && !player->announce()) {
        std::fprintf(stderr,
                     "tarvelmond-host: warning: the stand-in for the game's process could not be started\n");
    }
    const auto finished = [&] {
        if (player == nullptr) {
            return false;
        }
        if (!playing && api.getGameID() >= 0) {
            player->play();
            playing = true;
        }
        return playing ? player->finished()
                       : std::chrono::steady_clock::now() - searchStart > kDetectionLimit;
    };
    const int status = host::runRig(
        api, profile, run, stdout,
        [&](double seconds, const host::HistoryBatch& batch) {
            if (copier && api.getGameID() != copiedGame) {
                copiedGame = api.getGameID();
                copier->watch(blocksOf(copiedGame));
            }
            if (recorder) {
                recorder->poll(seconds, batch);
            }
#if TARVELMOND_HOST_LIVE_VIEW
            if (liveView) {
                liveView->add(seconds, batch, api.getProfilAirTransitionStatus(),
                              api.getProfilGrdTransitionStatus(), api.getTransitionStatus());
            }
#endif
        },
        finished);
    relay.reset();  // its last datagrams and blocks go into the recording with the recorder's end
    copier.reset();
    if (player != nullptr && !playing) {
        std::fprintf(stderr, "tarvelmond-host: the library did not detect the recorded game within %lld s\n",
                     static_cast<long long>(kDetectionLimit.count()));
        return 1;
    }
    if (player != nullptr) {
        std::printf("replayed %zu recorded inputs\n", player->sent());
    }
    if (recorder) {
        std::printf("recorded %llu ticks in %s\n", static_cast<unsigned long long>(recorder->ticksWritten()),
                    run.recordPath.c_str());
    }
    return status;
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
        if (command.replay.offline) {
            return host::replayOffline(session, command.replay.profilePath, command.replay.outDir, stdout);
        }
        if (session.datagrams.empty() && session.blocks.empty()) {
            std::fprintf(stderr,
                         "tarvelmond-host: %s holds no raw game input (record with --relay to have it); "
                         "replay it with --offline --profile <file.toml>\n",
                         command.replay.sessionPath.c_str());
            return 1;
        }
        hostio::RawInputPlayer player(session.datagrams, session.blocks, standInOf(session));
        host::RunOptions run;
        run.profilePath = command.replay.profilePath;
        run.port = command.replay.port;
        run.recordPath = command.replay.recordPath;
        std::printf("replaying %zu datagrams and %zu block frames (%.1f s) from %s\n",
                    session.datagrams.size(), session.blocks.size(), player.lengthS(),
                    command.replay.sessionPath.c_str());
        return driveRig(run, &player);
    }
    return driveRig(command.run, nullptr);
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
