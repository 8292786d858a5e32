#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server_transport.h"
#include "simulator_messages.h"

// A stand-in for the flight simulator's client server. It listens on the loopback addresses (and on a
// named pipe where there are pipes), checks every request against the protocol, answers the open,
// keeps the data definitions, streams data messages for each data request at about 60 Hz with the
// values the test sets, sends the events the client subscribed to, and can misbehave on demand.
namespace tarvelmond::simulator_peer {

struct FakeSimulatorOptions {
    bool ipv4 = true;
    bool ipv6 = false;
    std::uint16_t ipv4Port = 0;  // 0: a free port
    std::uint16_t ipv6Port = 0;
    std::string pipePath;  // "\\.\pipe\<name>" to serve a pipe too
    bool answerOpen = true;
    std::chrono::milliseconds framePeriod{16};
};

class FakeSimulator {
  public:
    explicit FakeSimulator(FakeSimulatorOptions options = {});
    ~FakeSimulator();
    FakeSimulator(const FakeSimulator&) = delete;
    FakeSimulator& operator=(const FakeSimulator&) = delete;

    // Whether every listener asked for is listening.
    bool listening() const { return listening_; }
    std::uint16_t ipv4Port() const;
    std::uint16_t ipv6Port() const;

    // The value the data messages carry for a variable (0 until set); integer entries get it rounded.
    void setValue(const std::string& variable, double value);
    // Several at once: no data message carries some of them and not the others.
    void setValues(const std::map<std::string, double>& values);
    // Called on a serving thread right after each data message went out, with the values it carried.
    using DataObserver = std::function<void(const std::map<std::string, double>& values)>;
    void observeData(DataObserver observer);
    // Stops or resumes the data messages (requests are still answered).
    void holdData(bool hold);

    // On every open connection:
    void sendEvent(const std::string& eventName);  // if the client subscribed to it, under its number
    void quit();                                   // the quit message, then the orderly end
    void dropConnections();                        // ended at once, without a word
    void send(const Bytes& bytes);                 // any bytes, in one write
    // `bytes` in `parts` writes of about equal length, `pause` apart.
    void sendInParts(const Bytes& bytes, std::size_t parts, std::chrono::milliseconds pause);

    std::size_t connectionsAccepted() const;
    // Connections the server still holds anything of (their serving thread included).
    std::size_t connectionsOpen() const;
    std::vector<std::string> peers() const;     // of every connection accepted, in order
    std::vector<Request> requests() const;      // every request, in order of arrival
    std::vector<std::string> problems() const;  // every way a request broke the protocol
    std::size_t dataMessagesSent() const;
    // Whether some connection's client has asked for data.
    bool streaming() const;

  private:
    struct Session;
    using Command = std::function<void(Session&)>;

    void acceptLoop(ServerListener& listener);
    void reapFinishedSessions();
    void serve(Session& session);
    void handle(Session& session, const Request& request);
    void sendData(Session& session);
    void broadcast(const Command& command);
    void problem(std::string text);

    FakeSimulatorOptions options_;
    std::vector<std::unique_ptr<ServerListener>> listeners_;
    std::uint16_t ipv4Port_ = 0, ipv6Port_ = 0;
    bool listening_ = true;
    std::atomic<bool> running_{true};
    std::atomic<bool> holdData_{false};
    std::vector<std::thread> acceptThreads_;

    mutable std::mutex mutex_;
    std::map<std::string, double> values_;
    DataObserver dataObserver_;
    std::vector<std::unique_ptr<Session>> sessions_;
    std::vector<std::string> peers_;
    std::vector<Request> requests_;
    std::vector<std::string> problems_;
    std::size_t dataMessages_ = 0;
};

}  // namespace tarvelmond::simulator_peer
