#include "raw_input_player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>

#include "recording_player.h"

namespace tarvelmond::hostio {

struct RawInputPlayer::Port {
    emulator::RecordedStream stream;  // before the player, which refers to it
    std::unique_ptr<emulator::RecordingPlayer> player;
};

RawInputPlayer::RawInputPlayer(const std::vector<RawDatagram>& datagrams) {
    std::map<std::uint16_t, std::unique_ptr<Port>> byPort;
    std::map<std::uint16_t, double> lastRecorded;
    for (const RawDatagram& datagram : datagrams) {
        auto& port = byPort[datagram.port];
        if (!port) port = std::make_unique<Port>();
        emulator::RecordedStream& stream = port->stream;
        double in = 0.0;
        if (!stream.secondsIn.empty()) {
            const double step = datagram.seconds - lastRecorded[datagram.port];
            in =
                stream.secondsIn.back() + (std::isfinite(step) ? std::clamp(step, 0.0, kLongestPauseS) : 0.0);
        }
        if (std::isfinite(datagram.seconds)) lastRecorded[datagram.port] = datagram.seconds;
        stream.secondsIn.push_back(in);
        stream.datagrams.push_back(datagram.bytes);
    }
    for (auto& [number, port] : byPort) {
        port->player = std::make_unique<emulator::RecordingPlayer>(port->stream, number, 0,
                                                                   port->stream.datagrams.size());
        ports_.push_back(std::move(port));
    }
}

RawInputPlayer::~RawInputPlayer() {
    stop();
}

void RawInputPlayer::announce() {
    stopAnnouncing();
    announcing_.store(true);
    announcer_ = std::thread([this] {
        while (announcing_.load()) {
            for (const auto& port : ports_)
                port->player->repeatFirst();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
}

void RawInputPlayer::stopAnnouncing() {
    announcing_.store(false);
    if (announcer_.joinable()) announcer_.join();
}

void RawInputPlayer::play() {
    stopAnnouncing();
    for (const auto& port : ports_)
        port->player->play();
}

void RawInputPlayer::stop() {
    stopAnnouncing();
    for (const auto& port : ports_)
        port->player->stop();
}

bool RawInputPlayer::empty() const {
    return ports_.empty();
}

bool RawInputPlayer::finished() const {
    return std::all_of(ports_.begin(), ports_.end(),
                       [](const auto& port) { return port->player->finished(); });
}

std::size_t RawInputPlayer::sent() const {
    std::size_t total = 0;
    for (const auto& port : ports_)
        total += port->player->sent();
    return total;
}

double RawInputPlayer::lengthS() const {
    double longest = 0.0;
    for (const auto& port : ports_)
        longest = std::max(longest, port->player->lengthS());
    return longest;
}

}  // namespace tarvelmond::hostio
