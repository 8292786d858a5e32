#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "game_packets.h"
#include "udp_game_sender.h"

namespace tarvelmond::emulator {

// A game's own output as it was recorded: a raw stream of equal-sized datagrams, each carrying the
// game's clock. Played back, each datagram leaves when its clock says, measured from the first.
struct RecordedStream {
    std::vector<Bytes> datagrams;
    std::vector<double> secondsIn;  // each datagram's clock, less the first one's

    double durationS() const { return secondsIn.empty() ? 0.0 : secondsIn.back(); }
    // The first datagram at or after `seconds` into the recording (size() when none is).
    std::size_t indexAt(double seconds) const;
};

// A recording the emulator knows by name, and how its file is cut.
struct KnownRecording {
    std::string_view name;
    std::string_view file;  // below the captures folder
    std::string_view description;
    int port = 0;  // where the game sends it
    std::size_t datagramSize = 0;
    std::size_t clockOffset = 0;  // the little-endian float in seconds that paces it
};

// "dirt-rally-2": the DiRT Rally 2.0 stage, the game's standard output to its port, paced by the
// stage time (the run time drifts from the simulation's clock).
std::optional<KnownRecording> knownRecording(std::string_view name);
std::string knownRecordingNames();

// Cuts the file into whole datagrams; a clock that goes backwards ends the stream there. Empty when the
// file cannot be read or holds no whole datagram.
RecordedStream loadRecordedStream(const std::string& path, const KnownRecording& recording);

// Sends a stream's datagrams [first, last) to 127.0.0.1 on the game's port at the recorded pace: by hand
// (sendDue, from a player that keeps its own time) or from a thread of its own (play).
class RecordingPlayer {
  public:
    RecordingPlayer(const RecordedStream& stream, int port, std::size_t first, std::size_t last);
    ~RecordingPlayer();
    RecordingPlayer(const RecordingPlayer&) = delete;
    RecordingPlayer& operator=(const RecordingPlayer&) = delete;

    // Sends every datagram due `elapsedS` after the first one's time; returns how many it sent.
    std::size_t sendDue(double elapsedS);
    // Sends the first datagram again: a game on its start line, waiting to be found.
    void repeatFirst();
    // From now on, on a thread of its own, until the last datagram has gone or stop().
    void play();
    void stop();

    bool finished() const { return next_.load() >= last_; }
    std::size_t sent() const { return next_.load() - first_; }
    double lengthS() const;

  private:
    const RecordedStream& stream_;
    UdpGameSender sender_;
    const std::size_t first_;
    const std::size_t last_;
    std::atomic<std::size_t> next_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tarvelmond::emulator
