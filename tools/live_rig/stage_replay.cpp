#include "stage_replay.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "latency_matcher.h"

namespace tarvelmond::rig {
namespace {

constexpr std::size_t kLateralG = 136;  // the standard output's fields 34 and 35
constexpr std::size_t kLongitudinalG = 140;

double floatAt(const emulator::Bytes& datagram, std::size_t offset) {
    return static_cast<double>(ByteView(datagram).f32le(offset));
}

// As the library will record the datagram: the lateral g turned to the record's side, both in m/s^2.
DatagramKey keyOf(const emulator::Bytes& datagram) {
    return {{std::bit_cast<std::uint64_t>(-floatAt(datagram, kLateralG) * kGravity),
             std::bit_cast<std::uint64_t>(floatAt(datagram, kLongitudinalG) * kGravity),
             std::bit_cast<std::uint64_t>(0.0)}};
}

std::size_t lastOf(const emulator::RecordedStream& stream, double seconds) {
    return seconds > 0.0 ? stream.indexAt(seconds) : stream.datagrams.size();
}

}  // namespace

StageReplayFeed::StageReplayFeed(const emulator::RecordedStream& stream,
                                 const emulator::KnownRecording& recording, double seconds,
                                 LatencyMatcher& matcher)
    : stream_(stream),
      recording_(recording),
      matcher_(matcher),
      player_(stream, recording.port, 0, lastOf(stream, seconds)) {}

int StageReplayFeed::slot() const {
    return kDirtRally2;
}

std::size_t StageReplayFeed::rows() const {
    return static_cast<std::size_t>(std::ceil(player_.lengthS() / 0.002)) + 1;
}

void StageReplayFeed::show(std::size_t row) {
    if (row == 0) {
        // On the start line, waiting to be found: the first datagram every 10 ms.
        if (waitingShows_++ % 10 == 0) player_.repeatFirst();
        return;
    }
    const std::size_t before = player_.sent();
    const auto now = Clock::now();
    player_.sendDue(static_cast<double>(row) * 0.002);
    for (std::size_t i = before; i < player_.sent(); ++i)
        matcher_.datagramSent(keyOf(stream_.datagrams[i]), now);
}

}  // namespace tarvelmond::rig
