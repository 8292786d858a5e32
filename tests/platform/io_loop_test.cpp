// The I/O loop on real loopback connections: completions come to the loop's own thread, a start that
// fails says so at once, and closing ends every outstanding operation before the memory is let go.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "platform/io_loop.h"
#include "platform/process_info.h"
#include "platform/stream.h"
#include "server_transport.h"
#include "support/eventually.h"

namespace tarvelmond::test {
namespace {

using namespace std::chrono_literals;
using platform::IoCompletion;
using platform::IoOperation;

constexpr std::uint64_t kKey = 7;

struct LoopAndPeer {
    LoopAndPeer() {
        listener = simulator_peer::listenTcp(false, 0);
        platform::Stream stream = platform::connectTcp(platform::TcpFamily::Ipv4, "127.0.0.1",
                                                       std::to_string(listener->port()), {2000ms});
        peer = listener->accept(2000ms);
        attached =
            stream.valid() && peer != nullptr && loop.valid() && loop.attach(std::move(stream), kKey, true);
    }

    bool startReading() {
        std::uint32_t status = 0;
        return loop.startRead(kKey, into, status);
    }

    // The next completion, waiting at most `limit`.
    std::optional<IoCompletion> next(std::chrono::milliseconds limit = 5000ms) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            std::array<IoCompletion, 1> one;
            if (loop.wait(one, 50ms) == 1) return one[0];
        }
        return std::nullopt;
    }

    platform::IoLoop loop;
    std::unique_ptr<simulator_peer::ServerListener> listener;
    std::unique_ptr<simulator_peer::ServerConnection> peer;
    bool attached = false;
    std::array<std::uint8_t, 64> into{};
};

TEST(IoLoop, ReadsAndWritesCompleteOnTheLoopsThread) {
    LoopAndPeer setup;
    ASSERT_TRUE(setup.attached);
    ASSERT_TRUE(setup.startReading());
    EXPECT_FALSE(setup.startReading()) << "one read at a time";

    const std::vector<std::uint8_t> hello = {'h', 'e', 'l', 'l', 'o'};
    ASSERT_TRUE(setup.peer->send(hello));
    auto completion = setup.next();
    ASSERT_TRUE(completion);
    EXPECT_EQ(completion->key, kKey);
    EXPECT_EQ(completion->operation, IoOperation::Read);
    EXPECT_EQ(completion->status, platform::kIoSuccess);
    ASSERT_EQ(completion->bytes, hello.size());
    EXPECT_TRUE(std::equal(hello.begin(), hello.end(), setup.into.begin()));

    const std::vector<std::uint8_t> reply(100000, 0x42);
    std::uint32_t status = 0;
    ASSERT_TRUE(setup.loop.startWrite(kKey, reply, status));
    std::vector<std::uint8_t> arrived;
    std::array<std::uint8_t, 65536> chunk{};
    std::optional<IoCompletion> written;
    while (arrived.size() < reply.size()) {
        const int count = setup.peer->receive(chunk, 100ms);
        ASSERT_GE(count, 0);
        arrived.insert(arrived.end(), chunk.begin(), chunk.begin() + count);
        std::array<IoCompletion, 1> one;
        if (!written && setup.loop.wait(one, 0ms) == 1) written = one[0];
    }
    if (!written) written = setup.next();
    ASSERT_TRUE(written);
    EXPECT_EQ(written->operation, IoOperation::Write);
    EXPECT_EQ(written->bytes, reply.size()) << "a write completes whole";
    EXPECT_EQ(arrived, reply);
}

TEST(IoLoop, ThePeersEndShowsInTheOutstandingRead) {
    LoopAndPeer orderly;
    ASSERT_TRUE(orderly.attached);
    ASSERT_TRUE(orderly.startReading());
    orderly.peer.reset();
    auto completion = orderly.next();
    ASSERT_TRUE(completion);
    EXPECT_EQ(completion->status, platform::kIoSuccess);
    EXPECT_EQ(completion->bytes, 0U) << "an orderly end is a read of nothing";

    LoopAndPeer reset;
    ASSERT_TRUE(reset.attached);
    ASSERT_TRUE(reset.startReading());
    reset.peer->abort();
    completion = reset.next();
    ASSERT_TRUE(completion);
    EXPECT_NE(completion->status, platform::kIoSuccess);
    // Once the reset has arrived, a write cannot even start: the start says so, and nothing is left
    // outstanding.
    const std::vector<std::uint8_t> data(16, 1);
    std::uint32_t status = 0;
    bool failedToStart = false;
    for (int attempt = 0; attempt < 50 && !failedToStart; ++attempt) {
        if (reset.loop.startWrite(kKey, data, status)) {
            auto written = reset.next();
            ASSERT_TRUE(written);
        } else {
            failedToStart = true;
        }
    }
    EXPECT_TRUE(failedToStart);
    EXPECT_NE(status, platform::kIoSuccess);
}

TEST(IoLoop, ClosingCancelsOutstandingOperationsThenReleasesTheStream) {
    LoopAndPeer setup;
    ASSERT_TRUE(setup.attached);
    ASSERT_TRUE(setup.startReading());
    setup.loop.close(kKey);
    std::vector<IoOperation> seen;
    while (seen.empty() || seen.back() != IoOperation::Closed) {
        auto completion = setup.next();
        ASSERT_TRUE(completion);
        seen.push_back(completion->operation);
        if (completion->operation == IoOperation::Read) {
            EXPECT_NE(completion->status, platform::kIoSuccess);
        }
    }
    EXPECT_EQ(seen, (std::vector<IoOperation>{IoOperation::Read, IoOperation::Closed}));
    EXPECT_EQ(setup.loop.attachedCount(), 0U);
    std::array<std::uint8_t, 16> chunk{};
    EXPECT_TRUE(eventually([&] { return setup.peer->receive(chunk, 10ms) < 0; })) << "the peer sees the end";
}

TEST(IoLoop, AWakeEndsTheWaitFromAnotherThread) {
    platform::IoLoop loop;
    ASSERT_TRUE(loop.valid());
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        loop.wake();
    });
    std::array<IoCompletion, 4> completions;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loop.wait(completions, 60000ms), 0U);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30000ms);
    waker.join();
}

TEST(Stream, AFailedConnectLeavesNothingOpen) {
    const std::uint16_t port = simulator_peer::listenTcp(false, 0)->port();
    const int before = platform::openResourceCount();
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(
            platform::connectTcp(platform::TcpFamily::Ipv4, "127.0.0.1", std::to_string(port), {1000ms})
                .valid());
    }
    EXPECT_FALSE(
        platform::connectTcp(platform::TcpFamily::Ipv4, "127.0.0.1", "no-such-service", {1000ms}).valid());
    EXPECT_EQ(platform::openPipe("\\\\.\\pipe\\TarvelmondNoSuchPipe", {1000ms}).valid(), false);
    EXPECT_EQ(platform::openResourceCount(), before);
}

}  // namespace
}  // namespace tarvelmond::test
