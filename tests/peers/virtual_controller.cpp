#include "peers/virtual_controller.h"

#include <algorithm>
#include <cstring>

#include "peers/safety_monitor.h"
#include "platform/scheduling.h"
#include "serial/crc16.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kOutputFrameBytes = 36;
constexpr std::size_t kCommandBytes = 8;

bool crcAtEnd(const std::uint8_t* bytes, std::size_t length) {
    return crc16Arc(bytes, length - 2) ==
           static_cast<std::uint16_t>(bytes[length - 2] | (bytes[length - 1] << 8));
}

std::vector<std::uint8_t> answerBytes(VirtualController::Answer answer) {
    switch (answer) {
        case VirtualController::Answer::Identity1:
            return {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A, 0x0D};
        case VirtualController::Answer::Identity1Crc:
            return {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x11};
        case VirtualController::Answer::Identity2:
            return {0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x0A, 0x0D};
        case VirtualController::Answer::Identity2Crc:
            return {0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00, 0x88, 0xE1};
        case VirtualController::Answer::Wrong:
            return {0xF9, 0xF9, 0x01, 0x00, 0x07, 0x00, 0x0A, 0x0D};
        case VirtualController::Answer::Silent:
            return {};
    }
    return {};
}

}  // namespace

OutputFrame decodeOutputFrame(const std::vector<std::uint8_t>& bytes) {
    OutputFrame frame;
    if (bytes.size() < kOutputFrameBytes) return frame;
    for (std::size_t k = 0; k < 6; ++k) {
        std::uint32_t bits = 0;
        for (std::size_t b = 0; b < 4; ++b)
            bits |= static_cast<std::uint32_t>(bytes[2 + 4 * k + b]) << (8 * b);
        std::memcpy(&frame.axes[k], &bits, sizeof bits);
    }
    frame.belt = (static_cast<std::uint32_t>(bytes[26]) << 24) |
                 (static_cast<std::uint32_t>(bytes[27]) << 16) |
                 (static_cast<std::uint32_t>(bytes[28]) << 8) | bytes[29];
    return frame;
}

std::vector<std::uint8_t> controllerFrame(std::uint8_t kind, const std::vector<std::uint8_t>& payload,
                                          bool crc) {
    std::vector<std::uint8_t> frame = {kind, kind};
    frame.insert(frame.end(), payload.begin(), payload.end());
    if (crc) {
        const std::uint16_t value = crc16Arc(frame.data(), frame.size());
        frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(value >> 8));
    } else {
        frame.push_back(0x0A);
        frame.push_back(0x0D);
    }
    return frame;
}

VirtualController::VirtualController(int comNumber, Answer answer)
    : comNumber_(comNumber), link_(std::make_unique<FarEnd>(comNumber)), answer_(answer) {
    startReading();
}

VirtualController::~VirtualController() {
    stopReading();
}

void VirtualController::startReading() {
    stop_.store(false);
    reader_ = std::thread([this] { readLoop(); });
}

void VirtualController::stopReading() {
    stop_.store(true);
    if (reader_.joinable()) reader_.join();
}

void VirtualController::watch(SafetyMonitor* monitor) {
    monitor_.store(monitor);
}

void VirtualController::unplug() {
    stopReading();
    link_.reset();
    std::lock_guard lock(mutex_);
    pending_.clear();  // a frame cut by the unplug never completes
}

void VirtualController::plugIn() {
    if (link_) return;
    link_ = std::make_unique<FarEnd>(comNumber_);
    startReading();
}

void VirtualController::send(const std::vector<std::uint8_t>& bytes) {
    if (link_) link_->write(bytes.data(), bytes.size());
}

// Called with the mutex held, on the reader thread.
void VirtualController::notify(const ReceivedMessage& message) {
    SafetyMonitor* monitor = monitor_.load();
    if (monitor == nullptr) return;
    if (message.kind == ReceivedMessage::Kind::Output) {
        monitor->onOutputFrame(message.bytes, message.arrival);
    } else if (message.kind == ReceivedMessage::Kind::Command) {
        monitor->onCommand(message.bytes, message.crcForm, message.arrival);
    }
}

void VirtualController::setAnswerPrefix(std::vector<std::uint8_t> prefix) {
    std::lock_guard lock(mutex_);
    prefix_ = std::move(prefix);
}

// On the reader thread, which is the only one that writes to the port besides send().
void VirtualController::reportStatus(PeerClock::time_point now) {
    const long long period = statusPeriod_.load();
    if (period <= 0 || now < nextStatus_) return;
    nextStatus_ = now + std::chrono::milliseconds(period);
    std::vector<std::uint8_t> payload(34, 0);
    ++statusCount_;
    for (std::size_t b = 0; b < 4; ++b)
        payload[b] = static_cast<std::uint8_t>(statusCount_ >> (8 * b));
    const std::vector<std::uint8_t> frame = controllerFrame(0xF8, payload, true);
    link_->write(frame.data(), frame.size());
}

void VirtualController::readLoop() {
    bool raised = false;
    std::array<std::uint8_t, 4096> chunk{};
    auto rateStart = PeerClock::now();
    std::uint64_t rateBytes = 0;
    std::uint32_t lastRate = 0;
    while (!stop_.load()) {
        if (!raised && realTime_.load()) {
            platform::raiseToRealtimePriority();
            raised = true;
        }
        if (paused_.load()) {
            std::this_thread::sleep_for(2ms);
            rateStart = PeerClock::now(), rateBytes = 0;
            continue;
        }
        std::size_t allowed = chunk.size();
        const std::uint32_t rate = readRate_.load();
        if (rate != lastRate) {
            rateStart = PeerClock::now();
            rateBytes = 0;
            lastRate = rate;
        }
        if (rate != 0) {
            // The bytes a UART at this rate would have delivered since the rate was set.
            const double seconds = std::chrono::duration<double>(PeerClock::now() - rateStart).count();
            const auto due = static_cast<std::uint64_t>(seconds * rate);
            allowed = static_cast<std::size_t>(std::min<std::uint64_t>(due - std::min(due, rateBytes), 64));
            if (allowed == 0) {
                std::this_thread::sleep_for(200us);
                continue;
            }
        }
        reportStatus(PeerClock::now());
        const std::size_t n = link_->read(chunk.data(), allowed, statusPeriod_.load() > 0 ? 1ms : 5ms);
        if (n == 0) {
            if (rate != 0) rateStart = PeerClock::now(), rateBytes = 0;  // an idle wire builds no credit
            continue;
        }
        rateBytes += n;
        std::lock_guard lock(mutex_);
        raw_.insert(raw_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
        pending_.insert(pending_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
        decode(PeerClock::now());
        changed_.notify_all();
    }
}

// Called with the mutex held. Whatever starts neither an output frame nor a command with a valid end
// is kept byte by byte as "other" (host messages of any form, garbage).
void VirtualController::decode(PeerClock::time_point now) {
    SafetyMonitor* monitor = monitor_.load();
    std::size_t stray = 0;
    std::size_t at = 0;
    while (at < pending_.size()) {
        const std::uint8_t* p = pending_.data() + at;
        const std::size_t left = pending_.size() - at;
        if (left >= 2 && p[0] == 0xFC && p[1] == 0xFC) {
            if (left < kOutputFrameBytes) break;
            if (crcAtEnd(p, kOutputFrameBytes)) {
                messages_.push_back({ReceivedMessage::Kind::Output, {p, p + kOutputFrameBytes}, true, now});
                notify(messages_.back());
                at += kOutputFrameBytes;
                continue;
            }
            crcFailures_.fetch_add(1);
            if (monitor != nullptr) monitor->onCrcFailure(now);
        } else if (left >= 2 && p[0] == 0xF9 && p[1] == 0xF9) {
            if (left < kCommandBytes) break;
            const bool terminated = p[6] == 0x0A && p[7] == 0x0D;
            if (terminated || crcAtEnd(p, kCommandBytes)) {
                messages_.push_back(
                    {ReceivedMessage::Kind::Command, {p, p + kCommandBytes}, !terminated, now});
                notify(messages_.back());
                at += kCommandBytes;
                if (terminated && p[2] == 0x01 && p[4] == 0x00) answerRequest();
                continue;
            }
            crcFailures_.fetch_add(1);
            if (monitor != nullptr) monitor->onCrcFailure(now);
        } else if (left == 1 && (p[0] == 0xFC || p[0] == 0xF9)) {
            break;  // perhaps the first byte of a start pair
        }
        if (messages_.empty() || messages_.back().kind != ReceivedMessage::Kind::Other) {
            messages_.push_back({ReceivedMessage::Kind::Other, {}, false, now});
        }
        messages_.back().bytes.push_back(p[0]);
        messages_.back().arrival = now;
        ++stray;
        ++at;
    }
    if (stray > 0 && monitor != nullptr) monitor->onStrayBytes(stray, now);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
}

// Called with the mutex held, on the reader thread.
void VirtualController::answerRequest() {
    requests_.fetch_add(1);
    const std::vector<std::uint8_t> answer = answerBytes(answer_.load());
    if (answer.empty()) return;
    std::vector<std::uint8_t> bytes = prefix_;
    bytes.insert(bytes.end(), answer.begin(), answer.end());
    link_->write(bytes.data(), bytes.size());
}

std::vector<ReceivedMessage> VirtualController::received() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<ReceivedMessage> VirtualController::receivedFrom(std::size_t first) const {
    std::lock_guard lock(mutex_);
    if (first >= messages_.size()) return {};
    return {messages_.begin() + static_cast<std::ptrdiff_t>(first), messages_.end()};
}

std::vector<std::uint8_t> VirtualController::rawBytes() const {
    std::lock_guard lock(mutex_);
    return raw_;
}

bool VirtualController::waitFor(const std::function<bool(const std::vector<ReceivedMessage>&)>& done,
                                std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(messages_); });
}

void VirtualController::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
    raw_.clear();
}

WindPeer::WindPeer(int comNumber) : far_(comNumber) {
    reader_ = std::thread([this] {
        std::array<std::uint8_t, 256> chunk{};
        while (!stop_.load()) {
            reading_.store(!stalled_.load());
            if (!reading_.load()) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            const std::size_t n = far_.read(chunk.data(), chunk.size(), 5ms);
            if (n == 0) continue;
            std::lock_guard lock(mutex_);
            bytes_.insert(bytes_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
            changed_.notify_all();
        }
    });
}

bool WindPeer::stall() {
    stalled_.store(true);
    while (reading_.load())
        std::this_thread::sleep_for(1ms);
    return far_.fillTowardsFarEnd();
}

void WindPeer::resume() {
    std::array<std::uint8_t, 4096> chunk{};
    const auto until = PeerClock::now() + 1s;
    while (far_.read(chunk.data(), chunk.size(), 5ms) > 0 && PeerClock::now() < until) {
    }
    stalled_.store(false);
}

WindPeer::~WindPeer() {
    stop_.store(true);
    reader_.join();
}

std::vector<std::uint8_t> WindPeer::bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

bool WindPeer::waitForCount(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return bytes_.size() >= count; });
}

}  // namespace tarvelmond::test
