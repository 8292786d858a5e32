#include "command_line.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

namespace tarvelmond::host {

const char* const kUsage =
    "usage: tarvelmond-host run --profile rig.toml [--port COM5] [--seconds N] [--live-view PORT]\n"
    "       tarvelmond-host record --out session.tmr --profile rig.toml [--relay] [--port COM5]\n"
    "                                [--seconds N] [--live-view PORT]\n"
    "       tarvelmond-host replay session.tmr --profile rig.toml [--port COM5] [--record again.tmr]\n"
    "       tarvelmond-host replay session.tmr --offline --profile other.toml [--out DIR]\n"
    "       tarvelmond-host games [--seconds N]\n"
    "       tarvelmond-host ports [--seconds N]\n"
    "  run      drive the rig from the running game with the profile's filters; Ctrl-C eases the rig\n"
    "           to rest over 4 s and stops\n"
    "  --port   use this port for the controller instead of the automatic scan\n"
    "  --seconds  stop by itself after N seconds, exactly as on Ctrl-C\n"
    "  --live-view  graphs of the axes, weights and chosen game channels at http://127.0.0.1:PORT/\n"
    "           (ADDRESS:PORT to be seen from other machines too; port 0 takes any free port)\n"
    "  record   the same, and every tick's telemetry and cues go into the session file\n"
    "  --relay  the UDP games send to the host at their port + 10000 (X-Plane 14321, F1 30777, ...);\n"
    "           it passes each datagram on to the library at once and records it\n"
    "  replay   the recorded game datagrams sent to the library again at their recorded pace: the\n"
    "           whole chain runs again with the profile, the controller if one is found\n"
    "           --offline: the recorded telemetry through the offline cue replay with a profile, and\n"
    "           a comparison with the recorded cues (DIR/compare.svg; DIR defaults to out/replay)\n"
    "  games    which game the library detects now (looks for 3 s, or N)\n"
    "  ports    whether the library's port scan finds a controller (3 s, or N); nothing moves\n";

namespace {

double secondsFrom(const std::string& text) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) || value <= 0.0) {
        throw std::invalid_argument("--seconds needs a positive number of seconds, not \"" + text + "\"");
    }
    return value;
}

LiveViewAddress liveViewAddressFrom(const std::string& text) {
    LiveViewAddress address;
    std::string portText = text;
    if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        address.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
    }
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), address.port);
    if (address.host.empty() || error != std::errc() || end != portText.data() + portText.size() ||
        address.port < 0 || address.port > 65535) {
        throw std::invalid_argument(
            "--live-view takes a port (8080) or an address and a port (0.0.0.0:8080), not \"" + text + "\"");
    }
    return address;
}

std::string portFrom(const std::string& value) {
    if (value.find("COM") == std::string::npos) {
        throw std::invalid_argument("--port takes a port name such as COM5, not \"" + value + "\"");
    }
    return value;
}

Command parseReplay(const std::vector<std::string>& arguments) {
    Command command;
    command.kind = Command::Kind::Replay;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--offline") {
            command.replay.offline = true;
        } else if ((argument == "--profile" || argument == "--out" || argument == "--record") &&
                   i + 1 < arguments.size()) {
            (argument == "--profile" ? command.replay.profilePath
             : argument == "--out"   ? command.replay.outDir
                                     : command.replay.recordPath) = arguments[++i];
        } else if (argument == "--port" && i + 1 < arguments.size()) {
            command.replay.port = portFrom(arguments[++i]);
        } else if (argument.rfind("--", 0) != 0 && command.replay.sessionPath.empty()) {
            command.replay.sessionPath = argument;
        } else {
            throw std::invalid_argument("replay: unexpected \"" + argument + "\"");
        }
    }
    if (command.replay.sessionPath.empty()) {
        throw std::invalid_argument("replay needs a session file");
    }
    if (command.replay.profilePath.empty()) {
        throw std::invalid_argument(command.replay.offline
                                        ? "replay --offline needs --profile <file.toml>"
                                        : "replay needs --profile <file.toml> (the rig's filters)");
    }
    if (command.replay.offline && (command.replay.port || !command.replay.recordPath.empty())) {
        throw std::invalid_argument(
            "replay --offline moves no rig: --port and --record are for the live replay");
    }
    return command;
}

}  // namespace

Command parseCommandLine(const std::vector<std::string>& arguments) {
    Command command;
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h" || arguments[0] == "help") {
        return command;
    }
    if (arguments[0] == "games" || arguments[0] == "ports") {
        command.kind = arguments[0] == "games" ? Command::Kind::Games : Command::Kind::Ports;
        if (arguments.size() == 3 && arguments[1] == "--seconds") {
            command.wait =
                std::chrono::milliseconds(static_cast<long long>(secondsFrom(arguments[2]) * 1000.0));
        } else if (arguments.size() != 1) {
            throw std::invalid_argument(arguments[0] + " takes only --seconds N");
        }
        return command;
    }
    if (arguments[0] == "replay") {
        return parseReplay(arguments);
    }
    if (arguments[0] != "run" && arguments[0] != "record") {
        throw std::invalid_argument("unknown command \"" + arguments[0] + "\"");
    }
    command.kind = arguments[0] == "run" ? Command::Kind::Run : Command::Kind::Record;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--relay" && command.kind == Command::Kind::Record) {
            command.run.relay = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            throw std::invalid_argument(option + " needs a value");
        }
        const std::string& value = arguments[++i];
        if (option == "--profile") {
            command.run.profilePath = value;
        } else if (option == "--port") {
            command.run.port = portFrom(value);
        } else if (option == "--out" && command.kind == Command::Kind::Record) {
            command.run.recordPath = value;
        } else if (option == "--seconds") {
            command.run.seconds = secondsFrom(value);
        } else if (option == "--live-view") {
            command.run.liveView = liveViewAddressFrom(value);
        } else {
            throw std::invalid_argument("unknown option \"" + option + "\"");
        }
    }
    if (command.kind == Command::Kind::Record && command.run.recordPath.empty()) {
        throw std::invalid_argument("record needs --out <session.tmr>");
    }
    if (command.run.profilePath.empty()) {
        throw std::invalid_argument(arguments[0] + " needs --profile <file.toml>");
    }
    return command;
}

}  // namespace tarvelmond::host
