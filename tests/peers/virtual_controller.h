#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "peers/far_end.h"

// A motion controller on the far end of a pseudo-terminal. It answers identification requests (in the
// form chosen, or wrongly, or not at all), sends its own frames, checks the CRC of everything it
// receives and decodes the 36-byte output frames, each with the time its last byte arrived. It can
// read as fast as bytes come or at the wire rate of a UART (25000 bytes/s at 250000 baud), hand every
// message to a safety monitor, and be unplugged and plugged in again.
namespace tarvelmond::test {

class SafetyMonitor;
using PeerClock = std::chrono::steady_clock;

struct ReceivedMessage {
    enum class Kind { Output, Command, Other };
    Kind kind = Kind::Other;
    std::vector<std::uint8_t> bytes;  // as they came over the wire
    bool crcForm = false;             // ended with the CRC (else with 0x0A 0x0D)
    PeerClock::time_point arrival;    // when the last byte was read
};

struct OutputFrame {
    std::array<float, 6> axes{};
    std::uint32_t belt = 0;
};

// Decodes a 36-byte frame as the controller reads it.
OutputFrame decodeOutputFrame(const std::vector<std::uint8_t>& bytes);

// Builds a controller frame of the given kind (0xF8, 0xF9, 0xFA, 0xFB) around `payload`, ending in the
// CRC or in 0x0A 0x0D.
std::vector<std::uint8_t> controllerFrame(std::uint8_t kind, const std::vector<std::uint8_t>& payload,
                                          bool crc);

class VirtualController {
  public:
    enum class Answer { Identity1, Identity1Crc, Identity2, Identity2Crc, Wrong, Silent };

    // On a pseudo-terminal that the library opens as COMn.
    explicit VirtualController(int comNumber, Answer answer = Answer::Identity1);
    ~VirtualController();

    bool ready() const { return link_ && link_->ready(); }
    std::string comName() const { return "COM" + std::to_string(comNumber_); }
    int comNumber() const { return comNumber_; }

    // Every message from now on also goes to `monitor` (null: none), on the reader thread.
    void watch(SafetyMonitor* monitor);
    // The device goes away as a USB adapter pulled out (its port hangs up and its name disappears),
    // and comes back under the same name. Called from the thread that owns the controller.
    void unplug();
    void plugIn();

    void setAnswer(Answer answer) { answer_.store(answer); }
    // Bytes sent before each identification answer (a device that talks first).
    void setAnswerPrefix(std::vector<std::uint8_t> prefix);
    // 0: read whatever arrives at once; otherwise at most this many bytes per second.
    void setReadRate(std::uint32_t bytesPerSecond) { readRate_.store(bytesPerSecond); }
    // A controller that hangs stops reading; what the library writes waits in the port meanwhile.
    void pauseReading(bool paused) { paused_.store(paused); }
    // Sends its status (a 38-byte 0xF8 frame with a running count, CRC form) every `period`, as
    // controllers report to the host; zero: never (the default).
    void reportStatusEvery(std::chrono::milliseconds period) { statusPeriod_.store(period.count()); }
    // Reads at real-time priority, as a device of its own would: the times it takes are then the
    // library's, not those of a busy test machine.
    void readInRealTime() { realTime_.store(true); }

    void send(const std::vector<std::uint8_t>& bytes);

    std::vector<ReceivedMessage> received() const;
    // The messages from index `first` on (a reader that keeps up copies only what is new).
    std::vector<ReceivedMessage> receivedFrom(std::size_t first) const;
    std::vector<std::uint8_t> rawBytes() const;  // everything received, in order
    int identificationRequests() const { return requests_.load(); }
    int crcFailures() const { return crcFailures_.load(); }
    // Waits until `done` holds for the received messages, or the time passes; returns the last result.
    bool waitFor(const std::function<bool(const std::vector<ReceivedMessage>&)>& done,
                 std::chrono::milliseconds timeout) const;
    void clear();

  private:
    void startReading();
    void stopReading();
    void readLoop();
    void decode(PeerClock::time_point now);
    void answerRequest();
    void notify(const ReceivedMessage& message);
    void reportStatus(PeerClock::time_point now);

    PeerClock::time_point nextStatus_{};
    std::uint32_t statusCount_ = 0;

    int comNumber_;
    std::unique_ptr<FarEnd> link_;
    std::atomic<SafetyMonitor*> monitor_{nullptr};
    std::atomic<Answer> answer_;
    std::atomic<std::uint32_t> readRate_{0};
    std::atomic<bool> paused_{false};
    std::atomic<long long> statusPeriod_{0};
    std::atomic<bool> realTime_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::atomic<int> crcFailures_{0};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::uint8_t> prefix_;
    std::vector<std::uint8_t> pending_;  // received, not yet decoded
    std::vector<std::uint8_t> raw_;
    std::vector<ReceivedMessage> messages_;
    std::thread reader_;
};

// A wind device: records every byte it receives. It can stop reading, as a device that hangs does.
class WindPeer {
  public:
    explicit WindPeer(int comNumber);
    ~WindPeer();
    bool ready() const { return far_.ready(); }
    std::string comName() const { return far_.comName(); }

    std::vector<std::uint8_t> bytes() const;
    bool waitForCount(std::size_t count, std::chrono::milliseconds timeout) const;

    // A device that stops reading until it resumes: the library's writes to it wait for their
    // time-outs meanwhile. What was stuck on the way is dropped at the resumption. False where that
    // cannot be staged (FarEnd::fillTowardsFarEnd).
    bool stall();
    void resume();

  private:
    FarEnd far_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> stalled_{false};
    std::atomic<bool> reading_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::uint8_t> bytes_;
    std::thread reader_;
};

}  // namespace tarvelmond::test
