#include "recording_player.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "games/byte_view.h"

namespace tarvelmond::emulator {
namespace {

constexpr KnownRecording kRecordings[] = {
    {"dirt-rally-2", "dirtrally2/dr2_stage_noorinbee_extradata3.bin",
     "DiRT Rally 2.0, Noorinbee Ridge Descent (recorded stage)", 20778, 264, 4},
};

double clockOf(const Bytes& datagram, std::size_t offset) {
    return static_cast<double>(ByteView(datagram).f32le(offset));
}

}  // namespace

std::size_t RecordedStream::indexAt(double seconds) const {
    return static_cast<std::size_t>(std::lower_bound(secondsIn.begin(), secondsIn.end(), seconds) -
                                    secondsIn.begin());
}

std::optional<KnownRecording> knownRecording(std::string_view name) {
    for (const KnownRecording& recording : kRecordings)
        if (recording.name == name) return recording;
    return std::nullopt;
}

std::string knownRecordingNames() {
    std::string names;
    for (const KnownRecording& recording : kRecordings)
        names += (names.empty() ? "" : ", ") + std::string(recording.name);
    return names;
}

RecordedStream loadRecordedStream(const std::string& path, const KnownRecording& recording) {
    RecordedStream stream;
    if (recording.datagramSize < recording.clockOffset + 4) return stream;
    std::ifstream file(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    double start = 0.0;
    for (std::size_t at = 0; at + recording.datagramSize <= bytes.size(); at += recording.datagramSize) {
        Bytes datagram(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + recording.datagramSize));
        const double clock = clockOf(datagram, recording.clockOffset);
        if (stream.datagrams.empty()) start = clock;
        const double in = clock - start;
        if (!(in >= (stream.secondsIn.empty() ? 0.0 : stream.secondsIn.back()))) break;
        stream.secondsIn.push_back(in);
        stream.datagrams.push_back(std::move(datagram));
    }
    return stream;
}

RecordingPlayer::RecordingPlayer(const RecordedStream& stream, int port, std::size_t first, std::size_t last)
    : stream_(stream),
      sender_(port),
      first_(std::min(first, stream.datagrams.size())),
      last_(std::clamp(last, first_, stream.datagrams.size())),
      next_(first_) {}

RecordingPlayer::~RecordingPlayer() {
    stop();
}

double RecordingPlayer::lengthS() const {
    if (last_ == first_) return 0.0;
    return stream_.secondsIn[last_ - 1] - stream_.secondsIn[first_];
}

std::size_t RecordingPlayer::sendDue(double elapsedS) {
    std::size_t count = 0;
    const double base = first_ < last_ ? stream_.secondsIn[first_] : 0.0;
    for (std::size_t i = next_.load(); i < last_ && stream_.secondsIn[i] - base <= elapsedS; ++i) {
        sender_.send(stream_.datagrams[i]);
        next_.store(i + 1);
        ++count;
    }
    return count;
}

void RecordingPlayer::repeatFirst() {
    if (first_ < last_) sender_.send(stream_.datagrams[first_]);
}

void RecordingPlayer::play() {
    stop();
    stop_.store(false);
    thread_ = std::thread([this] {
        const auto start = std::chrono::steady_clock::now();
        const double base = first_ < last_ ? stream_.secondsIn[first_] : 0.0;
        while (!stop_.load() && !finished()) {
            const double due = stream_.secondsIn[next_.load()] - base;
            std::this_thread::sleep_until(start +
                                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                              std::chrono::duration<double>(due)));
            sendDue(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    });
}

void RecordingPlayer::stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
}

}  // namespace tarvelmond::emulator
