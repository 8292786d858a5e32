#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "peers/far_end.h"

// A motion controller on the far end of a pseudo-terminal. It answers identification requests (in the
// form chosen, or wrongly, or not at all), sends its own frames, checks the CRC of everything it
// receives and decodes the 36-byte output frames, each with the time its last byte arrived. It can
// read as fast as bytes come or at the wire rate of a UART (25000 bytes/s at 250000 baud).
namespace tarvelmond::test {

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

    bool ready() const { return link_.ready(); }
    std::string comName() const { return link_.comName(); }
    int comNumber() const { return link_.comNumber(); }

    // The controller's USB cable: unplugging hangs up the library's open port and removes COMn;
    // plugging in brings a fresh device under the same name. What was received is kept.
    void unplug();
    void plugIn();

    void setAnswer(Answer answer) { answer_.store(answer); }
    // Bytes sent before each identification answer (a device that talks first).
    void setAnswerPrefix(std::vector<std::uint8_t> prefix);
    // 0: read whatever arrives at once; otherwise at most this many bytes per second.
    void setReadRate(std::uint32_t bytesPerSecond) { readRate_.store(bytesPerSecond); }

    void send(const std::vector<std::uint8_t>& bytes) { link_.write(bytes.data(), bytes.size()); }

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
    void readLoop();
    void decode(PeerClock::time_point now);
    void answerRequest();

    FarEnd link_;
    std::atomic<Answer> answer_;
    std::atomic<std::uint32_t> readRate_{0};
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

// A wind device: records every byte it receives.
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
