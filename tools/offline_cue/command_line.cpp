#include "command_line.h"

namespace tarvelmond::offline {

std::string usageText() {
    return "Usage: offline_cue [--telemetry FILE.csv] [--profile FILE.toml] [--out DIR] [--quiet]\n"
           "\n"
           "Replays recorded telemetry through the cue pipeline, one row per 2 ms tick, and writes the AIR,\n"
           "GROUND and final cues of every tick (DIR/cues.csv), a plot of the final axis cues and the\n"
           "air/ground weights (DIR/cues.svg) and a summary on the console.\n"
           "\n"
           "  --telemetry FILE  telemetry CSV: a header of game-data channel names, on_ground and time_s,\n"
           "                    then one row per tick (default: the built-in flight, written to\n"
           "                    DIR/builtin_flight.csv and replayed from there)\n"
           "  --profile FILE    rig profile in TOML (default: the built-in profile, written to\n"
           "                    DIR/builtin_profile.toml and read from there)\n"
           "  --out DIR         output directory (default: out/offline)\n"
           "  --quiet           print only warnings, errors and one closing line\n"
           "  --help            this text\n"
           "\n"
           "Exit status: 0 success, 1 bad input (the message names file, line and column or the DOF),\n"
           "2 usage error.\n";
}

Options parseCommandLine(std::span<const std::string_view> arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        std::optional<std::string_view> inlineValue;
        if (const std::size_t equals = argument.find('=');
            argument.starts_with("--") && equals != argument.npos) {
            inlineValue = argument.substr(equals + 1);
            argument = argument.substr(0, equals);
        }
        auto value = [&]() -> std::filesystem::path {
            if (inlineValue) {
                if (inlineValue->empty()) throw UsageError(std::string(argument) + " needs a value");
                return std::filesystem::path(std::string(*inlineValue));
            }
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                throw UsageError(std::string(argument) + " needs a value");
            }
            return std::filesystem::path(std::string(arguments[++i]));
        };
        auto flag = [&] {
            if (inlineValue) throw UsageError(std::string(argument) + " takes no value");
            return true;
        };
        if (argument == "--telemetry") {
            options.telemetry = value();
        } else if (argument == "--profile") {
            options.profile = value();
        } else if (argument == "--out") {
            options.outDir = value();
        } else if (argument == "--quiet") {
            options.quiet = flag();
        } else if (argument == "--help" || argument == "-h") {
            options.help = flag();
        } else if (argument.starts_with("-")) {
            throw UsageError("unknown option " + std::string(argument));
        } else {
            throw UsageError("unexpected argument \"" + std::string(argument) +
                             "\" (files are given with --telemetry and --profile)");
        }
    }
    return options;
}

}  // namespace tarvelmond::offline
