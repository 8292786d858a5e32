#include "raw_input_player.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <utility>

#include "fake_game_process.h"
#include "platform/shared_memory.h"
#include "recording_player.h"

namespace tarvelmond::hostio {

struct RawInputPlayer::Port {
    emulator::RecordedStream stream;  // before the player, which refers to it
    std::unique_ptr<emulator::RecordingPlayer> player;
};

namespace {

// Recorded times made safe to play: from 0, never backwards, no pause longer than the longest.
class ReplayClock {
  public:
    double next(double recorded) {
        if (started_) {
            const double step = recorded - last_;
            played_ += std::isfinite(step) ? std::clamp(step, 0.0, RawInputPlayer::kLongestPauseS) : 0.0;
        }
        if (std::isfinite(recorded)) last_ = recorded;
        started_ = true;
        return played_;
    }

  private:
    bool started_ = false;
    double last_ = 0.0;
    double played_ = 0.0;
};

}  // namespace

// The shared blocks, published by this process for as long as the replay lasts, and the thread that
// writes each recorded frame at its time.
struct RawInputPlayer::Blocks {
    struct Frame {
        double seconds;
        std::size_t block;
        const RawBlock* changes;  // the caller's recording, which outlives the player
    };
    std::vector<platform::SharedMemory> views;
    platform::NamedEvent event;
    std::vector<Frame> frames;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::thread thread;

    Blocks() = default;
    Blocks(const Blocks&) = delete;
    Blocks& operator=(const Blocks&) = delete;
    ~Blocks() { halt(); }

    // The block holds the frame before; the frame's runs make it this one.
    void write(const Frame& frame) {
        platform::SharedMemory& view = views[frame.block];
        if (view.isOpen()) applyBlockFrame(*frame.changes, {view.writableData(), view.size()});
    }
    void play() {
        halt();
        stop.store(false);
        thread = std::thread([this] {
            using Clock = std::chrono::steady_clock;
            const auto start = Clock::now();
            while (!stop.load() && next.load() < frames.size()) {
                const Frame& frame = frames[next.load()];
                const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(frame.seconds));
                if (const auto now = Clock::now(); now < due) {
                    // Short steps, so that a stop is never held up by a pause in the recording.
                    std::this_thread::sleep_for(
                        std::min<Clock::duration>(due - now, std::chrono::milliseconds(20)));
                    continue;
                }
                write(frame);
                next.fetch_add(1);
            }
        });
    }
    void halt() {
        stop.store(true);
        if (thread.joinable()) thread.join();
    }
};

RawInputPlayer::RawInputPlayer(const std::vector<RawDatagram>& datagrams, const std::vector<RawBlock>& blocks,
                               GameStandIn standIn)
    : standInNames_(std::move(standIn)), blocks_(std::make_unique<Blocks>()) {
    std::map<std::uint16_t, std::unique_ptr<Port>> byPort;
    std::map<std::uint16_t, ReplayClock> clocks;
    for (const RawDatagram& datagram : datagrams) {
        auto& port = byPort[datagram.port];
        if (!port) port = std::make_unique<Port>();
        port->stream.secondsIn.push_back(clocks[datagram.port].next(datagram.seconds));
        port->stream.datagrams.push_back(datagram.bytes);
    }
    std::map<std::string, std::size_t> blockIndex;
    ReplayClock blockClock;
    for (const RawBlock& block : blocks) {
        const auto [entry, added] = blockIndex.try_emplace(block.name, blocks_->views.size());
        if (added) {
            blocks_->views.emplace_back();
            blocks_->views.back().createOrOpen(block.name, block.size, platform::ViewAccess::ReadWrite);
        }
        blocks_->frames.push_back({blockClock.next(block.seconds), entry->second, &block});
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

bool RawInputPlayer::announce() {
    stopAnnouncing();
    bool started = true;
    if (!standInNames_.process.empty() && !standIn_) {
        auto process = std::make_shared<emulator::FakeGameProcess>(standInNames_.process);
        started = process->started();
        standIn_ = process;
    }
    if (!standInNames_.event.empty() && !blocks_->event.isOpen()) {
        started = blocks_->event.create(standInNames_.event) && started;
    }
    // Each block's first frame, as the game has it when it starts.
    std::vector<bool> published(blocks_->views.size(), false);
    for (const Blocks::Frame& frame : blocks_->frames) {
        if (!published[frame.block]) blocks_->write(frame);
        published[frame.block] = true;
    }
    announcing_.store(true);
    announcer_ = std::thread([this] {
        while (announcing_.load()) {
            for (const auto& port : ports_)
                port->player->repeatFirst();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    return started;
}

void RawInputPlayer::stopAnnouncing() {
    announcing_.store(false);
    if (announcer_.joinable()) announcer_.join();
}

void RawInputPlayer::play() {
    stopAnnouncing();
    for (const auto& port : ports_)
        port->player->play();
    blocks_->play();
}

void RawInputPlayer::stop() {
    stopAnnouncing();
    for (const auto& port : ports_)
        port->player->stop();
    blocks_->halt();
}

bool RawInputPlayer::finished() const {
    return blocks_->next.load() >= blocks_->frames.size() &&
           std::all_of(ports_.begin(), ports_.end(),
                       [](const auto& port) { return port->player->finished(); });
}

std::size_t RawInputPlayer::sent() const {
    std::size_t total = blocks_->next.load();
    for (const auto& port : ports_)
        total += port->player->sent();
    return total;
}

double RawInputPlayer::lengthS() const {
    double longest = blocks_->frames.empty() ? 0.0 : blocks_->frames.back().seconds;
    for (const auto& port : ports_)
        longest = std::max(longest, port->player->lengthS());
    return longest;
}

}  // namespace tarvelmond::hostio
