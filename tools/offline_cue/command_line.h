#pragma once
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvelmond::offline {

enum ExitCode : int { kSuccess = 0, kBadInput = 1, kUsageError = 2 };

struct Options {
    std::optional<std::filesystem::path> telemetry;  // none: the built-in flight
    std::optional<std::filesystem::path> profile;    // none: the built-in profile
    std::filesystem::path outDir = "out/offline";
    bool quiet = false;
    bool help = false;
};

// A command line the tool cannot use.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The arguments after the program name.
Options parseCommandLine(std::span<const std::string_view> arguments);

std::string usageText();

}  // namespace tarvelmond::offline
