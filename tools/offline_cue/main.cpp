// offline_cue: replays recorded telemetry through the cue pipeline so filters can be tuned on curves.
#include <iostream>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "offline_cue_app.h"

int main(int argc, char** argv) {
    using namespace tarvelmond::offline;
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    Options options;
    try {
        options = parseCommandLine(arguments);
    } catch (const UsageError& error) {
        std::cerr << "offline_cue: " << error.what() << "\n\n" << usageText();
        return kUsageError;
    }
    return runOfflineCue(options, std::cout, std::cerr);
}
