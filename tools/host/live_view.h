#pragma once
#include <array>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "history_batch.h"

namespace httplib {
class Server;
}

namespace tarvelmond::host {

// One worked tick as the page draws it.
struct LiveSample {
    long long sequence = 0;
    double seconds = 0.0;
    std::array<double, 6> axes{};  // the final cues
    double airPercent = 0.0;
    double groundPercent = 0.0;
    double fadePercent = 0.0;
    std::array<double, HistoryBatch::kTelemetrySlots> telemetry{};
};

// A page with scrolling graphs of the six final axes, the profile weights and the game channels the
// user picks, for tuning filters while driving. The page asks for the samples it has not seen yet
// (GET /samples?since=N&channels=a,b) a few times a second; the server keeps the last 20 s.
class LiveView {
  public:
    // Listens at once; throws std::runtime_error when the address cannot be had.
    LiveView(const LiveViewAddress& address, std::vector<std::string> channelNames);
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    int port() const { return port_; }
    // Adds every fifth tick of the batch (100 a second), with the weights as they stand now.
    void add(double seconds, const HistoryBatch& batch, double airPercent, double groundPercent,
             double fadePercent);

    // The JSON the page receives; public for the server's handler and for tests.
    std::string samplesSince(long long since, const std::vector<int>& channels) const;
    std::string channelsJson() const;

  private:
    static constexpr std::size_t kKept = 2000;  // 20 s at 100 samples a second
    static constexpr int kEveryNthTick = 5;

    const std::vector<std::string> channelNames_;
    mutable std::mutex mutex_;
    std::deque<LiveSample> samples_;  // under mutex_
    long long ticksSeen_ = 0;         // under mutex_
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace tarvelmond::host
