#include "fake_simulator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace tarvelmond::simulator_peer {
namespace {

constexpr std::array<std::uint32_t, 6> kOpenLevel = {0, 0x004B4800, 11, 0, 62651, 3};
constexpr std::chrono::milliseconds kPoll{5};
// Exception numbers the server reports.
constexpr std::uint32_t kUnrecognizedId = 3;
constexpr std::uint32_t kBadDataType = 7;

}  // namespace

struct FakeSimulator::Session {
    struct Entry {
        std::string variable;
        std::uint32_t type = 0;
    };
    struct DataStream {
        std::uint32_t request = 0;
        std::uint32_t definition = 0;
    };

    std::unique_ptr<ServerConnection> connection;
    std::thread thread;
    std::atomic<bool> open{true};
    std::atomic<bool> finished{false};  // the serving thread has let go of everything

    // Serving thread only.
    Bytes pending;
    std::uint32_t lastSerial = 0;
    bool opened = false;
    std::map<std::uint32_t, std::vector<Entry>> definitions;
    std::vector<DataStream> streams;
    std::map<std::string, std::uint32_t> subscriptions;
    std::chrono::steady_clock::time_point nextFrame;

    std::mutex commandMutex;
    std::vector<Command> commands;
    std::atomic<bool> streaming{false};
};

FakeSimulator::FakeSimulator(FakeSimulatorOptions options) : options_(std::move(options)) {
    const auto add = [&](std::unique_ptr<ServerListener> listener) {
        if (!listener) {
            listening_ = false;
            return static_cast<std::uint16_t>(0);
        }
        const std::uint16_t port = listener->port();
        listeners_.push_back(std::move(listener));
        return port;
    };
    if (options_.ipv4) ipv4Port_ = add(listenTcp(false, options_.ipv4Port));
    if (options_.ipv6) ipv6Port_ = add(listenTcp(true, options_.ipv6Port));
    if (!options_.pipePath.empty()) add(listenPipe(options_.pipePath));
    for (const auto& listener : listeners_)
        acceptThreads_.emplace_back([this, &listener] { acceptLoop(*listener); });
}

FakeSimulator::~FakeSimulator() {
    running_.store(false);
    for (std::thread& thread : acceptThreads_)
        thread.join();
    std::vector<std::unique_ptr<Session>> sessions;
    {
        const std::lock_guard lock(mutex_);
        sessions.swap(sessions_);
    }
    for (const auto& session : sessions)
        session->thread.join();
}

std::uint16_t FakeSimulator::ipv4Port() const {
    return ipv4Port_;
}

std::uint16_t FakeSimulator::ipv6Port() const {
    return ipv6Port_;
}

void FakeSimulator::setValue(const std::string& variable, double value) {
    const std::lock_guard lock(mutex_);
    values_[variable] = value;
}

void FakeSimulator::holdData(bool hold) {
    holdData_.store(hold);
}

void FakeSimulator::acceptLoop(ServerListener& listener) {
    while (running_.load()) {
        reapFinishedSessions();
        std::unique_ptr<ServerConnection> connection = listener.accept(std::chrono::milliseconds(20));
        if (!connection) continue;
        auto session = std::make_unique<Session>();
        session->connection = std::move(connection);
        Session& served = *session;
        const std::lock_guard lock(mutex_);
        peers_.push_back(served.connection->peer());
        sessions_.push_back(std::move(session));
        served.thread = std::thread([this, &served] { serve(served); });
    }
}

// A session whose client has gone leaves nothing open behind it, not even its thread.
void FakeSimulator::reapFinishedSessions() {
    std::vector<std::unique_ptr<Session>> finished;
    {
        const std::lock_guard lock(mutex_);
        const auto done = std::stable_partition(sessions_.begin(), sessions_.end(), [](const auto& session) {
            return !session->finished.load();
        });
        std::move(done, sessions_.end(), std::back_inserter(finished));
        sessions_.erase(done, sessions_.end());
    }
    for (const auto& session : finished)
        session->thread.join();
}

void FakeSimulator::serve(Session& session) {
    std::array<std::uint8_t, 4096> chunk{};
    while (running_.load() && session.open.load()) {
        const auto now = std::chrono::steady_clock::now();
        auto wait = kPoll;
        if (session.streaming.load()) {
            wait = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(session.nextFrame - now),
                              std::chrono::milliseconds(0), kPoll);
        }
        const int received = session.connection->receive(chunk, wait);
        if (received < 0) break;
        session.pending.insert(session.pending.end(), chunk.begin(), chunk.begin() + received);
        for (;;) {
            Request request;
            std::vector<std::string> found;
            const std::size_t used = readRequest(session.pending, request, found);
            for (std::string& text : found)
                problem(std::move(text));
            if (used == 0) break;
            const bool whole = used == request.size;
            session.pending.erase(session.pending.begin(),
                                  session.pending.begin() + static_cast<std::ptrdiff_t>(used));
            if (whole) handle(session, request);
        }
        std::vector<Command> commands;
        {
            const std::lock_guard lock(session.commandMutex);
            commands.swap(session.commands);
        }
        for (const Command& command : commands)
            if (session.open.load()) command(session);
        if (session.open.load() && session.streaming.load() && !holdData_.load() &&
            std::chrono::steady_clock::now() >= session.nextFrame) {
            sendData(session);
            session.nextFrame += options_.framePeriod;
        }
    }
    session.connection.reset();
    session.open.store(false);
    session.finished.store(true);
}

void FakeSimulator::handle(Session& session, const Request& request) {
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    const std::uint32_t expected = session.lastSerial == 0xFFFFFFFFu ? 1 : session.lastSerial + 1;
    if (request.serial != expected) {
        problem("serial number " + std::to_string(request.serial) + " where " + std::to_string(expected) +
                " was due");
    }
    session.lastSerial = request.serial;
    if (!session.opened && request.code() != kOpenCode) problem("a request before the open");
    switch (request.code()) {
        case kOpenCode:
            if (session.opened) problem("a second open");
            if (!std::equal(request.openLevel.begin(), request.openLevel.end(), kOpenLevel.begin())) {
                problem("open request with other protocol-level values");
            }
            session.opened = true;
            if (options_.answerOpen) session.connection->send(openAcknowledgement("Fake Simulator"));
            break;
        case kAddToDataDefinitionCode:
            if (request.datumType != kInt64Type && request.datumType != kFloat64Type) {
                problem("datum type " + std::to_string(request.datumType) + " for " + request.datumName);
                session.connection->send(exceptionMessage(kBadDataType, request.serial, 4));
                break;
            }
            session.definitions[request.definition].push_back({request.datumName, request.datumType});
            break;
        case kRequestDataCode:
            if (!session.definitions.contains(request.definition)) {
                problem("data requested for the unknown definition " + std::to_string(request.definition));
                session.connection->send(exceptionMessage(kUnrecognizedId, request.serial, 2));
                break;
            }
            // A period of 0 asks for nothing.
            if (request.dataRequest[3] == 0) break;
            session.streams.push_back({request.dataRequest[0], request.definition});
            if (!session.streaming.exchange(true)) session.nextFrame = std::chrono::steady_clock::now();
            break;
        case kSubscribeCode:
            session.subscriptions[request.eventName] = request.eventNumber;
            break;
        default:
            break;
    }
}

void FakeSimulator::setValues(const std::map<std::string, double>& values) {
    const std::lock_guard lock(mutex_);
    for (const auto& [variable, value] : values)
        values_[variable] = value;
}

void FakeSimulator::observeData(DataObserver observer) {
    const std::lock_guard lock(mutex_);
    dataObserver_ = std::move(observer);
}

void FakeSimulator::sendData(Session& session) {
    std::map<std::string, double> values;
    DataObserver observer;
    {
        const std::lock_guard lock(mutex_);
        values = values_;
        observer = dataObserver_;
    }
    for (const Session::DataStream& stream : session.streams) {
        Bytes block;
        for (const Session::Entry& entry : session.definitions[stream.definition]) {
            const double value = values.contains(entry.variable) ? values[entry.variable] : 0.0;
            if (entry.type == kInt64Type) {
                putU64(block, static_cast<std::uint64_t>(std::llround(value)));
            } else {
                putF64(block, value);
            }
        }
        if (!session.connection->send(dataMessage(stream.request, stream.definition, block))) {
            session.open.store(false);
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            ++dataMessages_;
        }
        if (observer) observer(values);
    }
}

void FakeSimulator::broadcast(const Command& command) {
    const std::lock_guard lock(mutex_);
    for (const auto& session : sessions_) {
        if (!session->open.load()) continue;
        const std::lock_guard commandLock(session->commandMutex);
        session->commands.push_back(command);
    }
}

void FakeSimulator::problem(std::string text) {
    const std::lock_guard lock(mutex_);
    problems_.push_back(std::move(text));
}

void FakeSimulator::sendEvent(const std::string& eventName) {
    broadcast([eventName](Session& session) {
        const auto subscribed = session.subscriptions.find(eventName);
        if (subscribed != session.subscriptions.end())
            session.connection->send(eventMessage(subscribed->second));
    });
}

void FakeSimulator::quit() {
    broadcast([](Session& session) {
        session.connection->send(quitMessage());
        session.open.store(false);
    });
}

void FakeSimulator::dropConnections() {
    broadcast([](Session& session) {
        session.connection->abort();
        session.open.store(false);
    });
}

void FakeSimulator::send(const Bytes& bytes) {
    broadcast([bytes](Session& session) { session.connection->send(bytes); });
}

void FakeSimulator::sendInParts(const Bytes& bytes, std::size_t parts, std::chrono::milliseconds pause) {
    broadcast([bytes, parts, pause](Session& session) {
        const std::size_t step = (bytes.size() + parts - 1) / parts;
        for (std::size_t at = 0; at < bytes.size(); at += step) {
            if (at > 0) std::this_thread::sleep_for(pause);
            const std::size_t length = std::min(step, bytes.size() - at);
            session.connection->send(std::span(bytes).subspan(at, length));
        }
    });
}

std::size_t FakeSimulator::connectionsAccepted() const {
    const std::lock_guard lock(mutex_);
    return peers_.size();
}

std::size_t FakeSimulator::connectionsOpen() const {
    const std::lock_guard lock(mutex_);
    return sessions_.size();
}

std::vector<std::string> FakeSimulator::peers() const {
    const std::lock_guard lock(mutex_);
    return peers_;
}

std::vector<Request> FakeSimulator::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<std::string> FakeSimulator::problems() const {
    const std::lock_guard lock(mutex_);
    return problems_;
}

std::size_t FakeSimulator::dataMessagesSent() const {
    const std::lock_guard lock(mutex_);
    return dataMessages_;
}

bool FakeSimulator::streaming() const {
    const std::lock_guard lock(mutex_);
    return std::any_of(sessions_.begin(), sessions_.end(),
                       [](const auto& session) { return session->open.load() && session->streaming.load(); });
}

}  // namespace tarvelmond::simulator_peer
