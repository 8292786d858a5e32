// The fake flight simulator as a program: serves the client protocol and plays a gentle flight (a slow
// climb with banked turns) until it is ended or its time is up.
//   fake_simulator [--port N] [--ipv6-port N] [--pipe NAME] [--seconds S]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <thread>

#include "fake_simulator.h"

using namespace tarvelmond::simulator_peer;

int main(int argc, char** argv) {
    FakeSimulatorOptions options;
    double seconds = 0.0;  // 0: until ended
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        if (option == "--port") {
            options.ipv4Port = static_cast<std::uint16_t>(std::atoi(value));
        } else if (option == "--ipv6-port") {
            options.ipv6 = true;
            options.ipv6Port = static_cast<std::uint16_t>(std::atoi(value));
        } else if (option == "--pipe") {
            options.pipePath = std::string("\\\\.\\pipe\\") + value;
        } else if (option == "--seconds") {
            seconds = std::atof(value);
        } else {
            std::fprintf(stderr, "usage: %s [--port N] [--ipv6-port N] [--pipe NAME] [--seconds S]\n",
                         argv[0]);
            return 2;
        }
    }
    FakeSimulator simulator(options);
    if (!simulator.listening()) {
        std::fprintf(stderr, "fake_simulator: cannot listen\n");
        return 1;
    }
    std::printf("fake simulator listening on 127.0.0.1:%u", simulator.ipv4Port());
    if (options.ipv6) std::printf(" and [::1]:%u", simulator.ipv6Port());
    if (!options.pipePath.empty()) std::printf(" and %s", options.pipePath.c_str());
    std::printf("\n");
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds > 0.0 && t >= seconds) break;
        const double bank = 0.35 * std::sin(2.0 * std::numbers::pi * t / 20.0);
        const double bankRate =
            0.35 * 2.0 * std::numbers::pi / 20.0 * std::cos(2.0 * std::numbers::pi * t / 20.0);
        simulator.setValue("PLANE BANK DEGREES", bank);
        simulator.setValue("ROTATION VELOCITY BODY Z", bankRate);
        simulator.setValue("PLANE PITCH DEGREES", -0.05);
        simulator.setValue("PLANE HEADING DEGREES TRUE", std::fmod(0.05 * t, 2.0 * std::numbers::pi));
        simulator.setValue("VELOCITY BODY Z", 55.0);
        simulator.setValue("ACCELERATION BODY X", 9.80665 * std::tan(bank) * 0.1);
        simulator.setValue("SIM ON GROUND", 0.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}
