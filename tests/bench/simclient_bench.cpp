// Costs of the flight simulator's client: cutting the server's stream into messages (the I/O thread),
// taking a message and reading it into the record (the real-time thread), and how long an open holds
// its caller while a connection is still being made.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <fstream>
#include <vector>

#include "games/flight_sim_reader.h"
#include "games/telemetry_record.h"
#include "platform/sockets.h"
#include "simclient/client_api.h"
#include "simclient/receive_assembler.h"
#include "simclient/received_messages.h"

namespace {

using namespace tarvelmond;

void putU32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A data message of the reader's definition: header, request 0, then seventeen 8-byte values.
std::vector<std::uint8_t> dataMessage() {
    std::vector<std::uint8_t> message;
    for (const std::uint32_t field : {176u, 5u, 8u, 0u, 1u, 0u, 0u, 1u, 1u, 17u})
        putU32(message, field);
    for (int k = 0; k < 17; ++k) {
        const std::uint64_t bits = k < 15 ? std::bit_cast<std::uint64_t>(0.1 * k) : 1;
        putU32(message, static_cast<std::uint32_t>(bits));
        putU32(message, static_cast<std::uint32_t>(bits >> 32));
    }
    return message;
}

void BM_AssembleDataMessages(benchmark::State& state) {
    const std::vector<std::uint8_t> one = dataMessage();
    std::vector<std::uint8_t> stream;
    while (stream.size() < 64 * 1024)
        stream.insert(stream.end(), one.begin(), one.end());
    const auto readLength = static_cast<std::size_t>(state.range(0));
    simclient::ReceiveAssembler assembler(41088);
    std::size_t messages = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size();) {
            const auto space = assembler.freeSpace();
            const std::size_t count = std::min({space.size(), readLength, stream.size() - at});
            std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at), count, space.begin());
            assembler.commit(count);
            at += count;
            while (assembler.next().status == simclient::ReceiveAssembler::Status::Message)
                ++messages;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(messages));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_AssembleDataMessages)->Arg(512)->Arg(4096);

void BM_TakeAndReadDataMessage(benchmark::State& state) {
    const std::vector<std::uint8_t> message = dataMessage();
    simclient::ReceivedMessages received;
    TelemetryRecord record;
    std::uint32_t onGround = 0;
    for (auto _ : state) {
        received.put(message);
        const auto taken = received.take();
        benchmark::DoNotOptimize(parseFlightSimMessage(taken, record, onGround));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_TakeAndReadDataMessage);

// A listener with a full backlog: a connect to it hangs, so every open finds it still under way.
void BM_OpenWhileTheConnectHangs(benchmark::State& state) {
    platform::SocketLibrary library;
    library.start();
    platform::Socket listener = platform::Socket::tcp();
    listener.bind({platform::kLoopback, 0});
    listener.listen(0);
    platform::Socket filler = platform::Socket::tcp();
    filler.connect({platform::kLoopback, listener.localPort()});
    const auto folder = std::filesystem::temp_directory_path() / "tarvelmond-simclient-bench";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "SimConnect.cfg")
        << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << listener.localPort() << "\n";
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    void* handle = nullptr;
    simclient::clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0);  // starts the connect
    for (auto _ : state)
        benchmark::DoNotOptimize(simclient::clientOpen(&handle, "Tarvelmond", nullptr, 0, nullptr, 0));
    simclient::closeAllClients();
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_OpenWhileTheConnectHangs)->Unit(benchmark::kMicrosecond);

}  // namespace
