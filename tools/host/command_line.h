#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tarvelmond::host {

// Where the live view listens: "8080" (loopback only) or "address:port" when the user asks for
// another address.
struct LiveViewAddress {
    std::string host = "127.0.0.1";
    int port = 0;
};

struct RunOptions {
    std::string profilePath;
    std::optional<std::string> port;  // a fixed port ("COM5") instead of the automatic scan
    std::optional<double> seconds;    // stop by itself after this long, as on Ctrl-C
    std::string recordPath;           // record: the session file to write
    bool relay = false;               // record: the UDP games' datagrams through the host, recorded
    std::optional<LiveViewAddress> liveView;
};

struct ReplayOptions {
    std::string sessionPath;
    bool offline = false;
    std::string profilePath;            // the profile to replay with
    std::string outDir = "out/replay";  // --offline: where the comparison goes
    std::optional<std::string> port;    // live: a fixed controller port instead of the scan
    std::string recordPath;             // live: the replayed session recorded here too
};

struct Command {
    enum class Kind { Run, Record, Replay, Games, Ports, Help } kind = Kind::Help;
    RunOptions run;
    ReplayOptions replay;
    std::chrono::milliseconds wait{3000};  // how long games and ports look
};

// Throws std::invalid_argument with a message for the user on a malformed command line.
Command parseCommandLine(const std::vector<std::string>& arguments);

extern const char* const kUsage;

}  // namespace tarvelmond::host
