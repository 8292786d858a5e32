// A motion host that returns from main without stopping what it started in the library, as a host
// that is closed or crashes out of its own loop does: the game-source thread runs with BeamNG (played
// from this process) connected and the rig ready, and with "bridge" the serial bridge runs on a
// detached thread of the host's, connected by the library's own scan to the controller the parent
// plays (its identity declared in TARVELMOND_PORT_IDENTITY).
//
// Usage: exiting_host thread|bridge <milliseconds of motion before returning>
// Exit status 0 when the run was set up and the process ended without a fault; 2 to 6 when the run
// could not be set up (so that a parent tells them from a fault at exit).
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "game_packets.h"
#include "games/game_source.h"
#include "platform/dynamic_library.h"
#include "support/eventually.h"
#include "udp_game_sender.h"

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const bool withBridge = std::strcmp(argv[1], "bridge") == 0;
    const auto motionTime = std::chrono::milliseconds(std::atoi(argv[2]));

    using namespace std::chrono_literals;
    using tarvelmond::platform::DynamicLibrary;
    using tarvelmond::test::eventually;

    // Loaded for good: a host that just returns never unloads the library itself.
    static const DynamicLibrary* const library =
        new DynamicLibrary(tarvelmond::platform::productLibraryName());
    if (!library->loaded()) return 3;
    const auto setFilter = library->function<int (*)(int, int, const char*)>("setcheckFilterstring");
    const auto inputLimit = library->function<void (*)(int, double, double)>("SetInputDofLimitValue");
    const auto rigLimit = library->function<void (*)(int, double, double)>("SetRigDofLimitValue");
    const auto startThread = library->function<void (*)()>("startGamesource_Thread");
    const auto ready = library->function<void (*)(int)>("setMotionsystemready");
    const auto gameId = library->function<int (*)()>("getGameID");
    const auto enableAutoconnect = library->function<int (*)()>("enableAutoconnect");
    const auto startBridge = library->function<int (*)()>("startKestrovane_Thread");
    const auto isConnected = library->function<int (*)()>("isConnected");

    tarvelmond::emulator::UdpGameSender game(tarvelmond::udpGamePort(tarvelmond::kBeamNg));
    game.startGenerated([](std::uint64_t n) {
        tarvelmond::emulator::BeamNgMotion motion;
        motion.pitch = 0.002f * static_cast<float>(n % 200);
        motion.pitchRate = 0.1f;
        return tarvelmond::emulator::beamNgPacket(motion);
    });
    for (int dof = 0; dof < 10; ++dof) {
        setFilter(0, dof, "EMALP(VALUE;5)");
        inputLimit(dof, -100.0, 100.0);
        rigLimit(dof, -30.0, 30.0);
    }

    if (withBridge) {
        enableAutoconnect();
        std::thread([startBridge] { startBridge(); }).detach();
        if (!eventually([&] { return isConnected() == 1; }, 30s)) return 4;
    }
    startThread();
    ready(1);
    if (!eventually([&] { return gameId() == tarvelmond::kBeamNg; }, 20s)) return 5;
    std::this_thread::sleep_for(motionTime);
    return 0;  // nothing stopped: the library's threads run on into the process's exit
}
