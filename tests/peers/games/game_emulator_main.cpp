// Plays one game for a while: game_emulator <game> [seconds] [pitch degrees] [lateral g]
// Or plays a recording as the game sent it: game_emulator replay <recording> [seconds] [captures folder]
// (dirt-rally-2: the DiRT Rally 2.0 stage of ../shared/captures, at its recorded pace).
// <game>: the network games xplane, dcs, dirt, condor, f1, wrc, beamng, lfs or nolimits; the games found
// by their process (dcs, f1, lfs) also get a stand-in process under the game's name. The shared-memory
// games assetto, assetto-evo, raceroom, pcars2, iracing, rfactor2 and truck are played by a publisher
// process under the game's executable name that writes the game's block under its real name.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <thread>

#include "block_publisher.h"
#include "fake_game_process.h"
#include "game_packets.h"
#include "nolimits_server.h"
#include "recording_player.h"
#include "udp_game_sender.h"

using namespace tarvelmond::emulator;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s "
                     "<xplane|dcs|dirt|condor|f1|wrc|beamng|lfs|nolimits|assetto|assetto-evo|raceroom|pcars2|"
                     "iracing|rfactor2|truck> [seconds] [pitch] [lateral g]\n",
                     argv[0]);
        return 2;
    }
    const std::string game = argv[1];
    if (game == "replay" && argc > 2) {
        const auto recording = knownRecording(argv[2]);
        if (!recording) {
            std::fprintf(stderr, "no recording named %s (known: %s)\n", argv[2],
                         knownRecordingNames().c_str());
            return 2;
        }
        const std::string captures = argc > 4 ? argv[4] : "../shared/captures";
        const RecordedStream stream =
            loadRecordedStream(captures + "/" + std::string(recording->file), *recording);
        if (stream.datagrams.empty()) {
            std::fprintf(stderr, "cannot read %s/%s\n", captures.c_str(),
                         std::string(recording->file).c_str());
            return 1;
        }
        const double seconds = argc > 3 ? std::atof(argv[3]) : 0.0;
        RecordingPlayer player(stream, recording->port, 0,
                               seconds > 0.0 ? stream.indexAt(seconds) : stream.datagrams.size());
        std::printf("playing %s to 127.0.0.1:%d for %.1f s\n", std::string(recording->description).c_str(),
                    recording->port, player.lengthS());
        player.play();
        while (!player.finished())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return 0;
    }
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const double pitchDeg = argc > 3 ? std::atof(argv[3]) : 10.0;
    const double lateralG = argc > 4 ? std::atof(argv[4]) : 0.5;
    const auto pitch = static_cast<float>(pitchDeg * std::numbers::pi / 180.0);
    const auto lateral = static_cast<float>(lateralG);

    std::unique_ptr<FakeGameProcess> process;
    std::unique_ptr<UdpGameSender> sender;
    std::unique_ptr<NoLimitsServer> server;
    std::unique_ptr<GameBlockPublisher> publisher;
    auto send = [&](int port, const Bytes& packet) {
        sender = std::make_unique<UdpGameSender>(port);
        sender->start(packet);
    };
    if (game == "xplane") {
        // The aircraft circles slowly (5 degrees a second): data that stood still would, after half a
        // second, freeze the library's output where it happened to be.
        sender = std::make_unique<UdpGameSender>(4321);
        sender->startGenerated([=](std::uint64_t n) {
            const auto heading = static_cast<float>(static_cast<double>(n % 36000) * 0.01);
            return xplanePacket(
                {{17, {static_cast<float>(pitchDeg), 0.0f, heading}}, {135, {lateral, 10.0f}}});
        });
    } else if (game == "dcs") {
        process = std::make_unique<FakeGameProcess>("DCS.exe");
        send(4124, dcsLine({0.0, lateral, 1.0, 0, 0, 0, 0, 0, 0, 0, 0, pitch}));
    } else if (game == "dirt") {
        send(20778, dirtRallyPacket({.lateralG = lateral, .pitch = pitch}));
    } else if (game == "condor") {
        send(55278,
             condorText({{"pitch", std::to_string(pitch)}, {"ax", std::to_string(lateral * 9.80665)}}));
    } else if (game == "f1") {
        process = std::make_unique<FakeGameProcess>("F1_24.exe");
        send(20777, f1MotionPacket(2024, 0, {.lateralG = lateral, .pitch = pitch}));
    } else if (game == "wrc") {
        // The game's clock runs on with each packet, as the game's does.
        sender = std::make_unique<UdpGameSender>(20788);
        sender->startGenerated([=](std::uint64_t n) {
            return wrcPacket({.lateralAccel = static_cast<float>(lateral * 9.80665),
                              .pitchDeg = pitchDeg,
                              .totalTime = static_cast<float>(static_cast<double>(n) * 0.002)});
        });
    } else if (game == "beamng") {
        send(4444,
             beamNgPacket({.acceleration = {static_cast<float>(lateral * 9.80665), 0, 0}, .pitch = pitch}));
    } else if (game == "lfs") {
        process = std::make_unique<FakeGameProcess>("LFS.exe");
        send(4123,
             lfsPacket({.pitch = pitch, .acceleration = {static_cast<float>(lateral * 9.80665), 0, 0}}));
    } else if (game == "nolimits") {
        server = std::make_unique<NoLimitsServer>();
        const auto half = static_cast<float>(pitchDeg * std::numbers::pi / 360.0);
        server->setTelemetry({.qx = std::sin(half), .qw = std::cos(half), .gx = -lateral, .gy = 1.0f});
    } else if (const auto blockGame = blockGameByName(game)) {
        publisher = std::make_unique<GameBlockPublisher>(*blockGame, motionScene(pitch, lateralG * 9.80665));
        if (!publisher->started()) {
            std::fprintf(stderr, "the publisher of %s did not start\n", game.c_str());
            return 1;
        }
    } else {
        std::fprintf(stderr, "unknown game %s\n", game.c_str());
        return 2;
    }
    std::printf("playing %s for %d s\n", game.c_str(), seconds);
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
}
