// The bounded message queues shared by the host's threads, the real-time thread and the link loops.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "serial/message_queue.h"

namespace tarvelmond::test {
namespace {

std::vector<std::uint8_t> message(std::uint32_t producer, std::uint32_t sequence, std::size_t size = 12) {
    std::vector<std::uint8_t> bytes(size, 0x33);
    for (int b = 0; b < 4; ++b) {
        bytes[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(producer >> (8 * b));
        bytes[static_cast<std::size_t>(4 + b)] = static_cast<std::uint8_t>(sequence >> (8 * b));
    }
    return bytes;
}

std::uint32_t field(const Message& m, int offset) {
    std::uint32_t value = 0;
    for (int b = 0; b < 4; ++b)
        value |= static_cast<std::uint32_t>(m.bytes[static_cast<std::size_t>(offset + b)]) << (8 * b);
    return value;
}

TEST(MessageQueue, KeepsOrderUpToItsCapAndRefusesBadMessages) {
    auto q = std::make_unique<MessageQueue>(150);
    for (std::uint32_t i = 0; i < 150; ++i)
        ASSERT_TRUE(q->push(message(0, i).data(), 12));
    EXPECT_FALSE(q->push(message(0, 150).data(), 12)) << "full at 150";
    EXPECT_EQ(q->size(), 150u);

    Message m;
    for (std::uint32_t i = 0; i < 150; ++i) {
        ASSERT_TRUE(q->front(m));
        EXPECT_EQ(field(m, 4), i);
        EXPECT_EQ(m.size, 12);
        ASSERT_TRUE(q->popFront());
    }
    EXPECT_FALSE(q->front(m));
    EXPECT_FALSE(q->popFront());

    const std::vector<std::uint8_t> big(513, 1);
    EXPECT_FALSE(q->push(big.data(), 513));
    EXPECT_TRUE(q->push(big.data(), 512));
    EXPECT_FALSE(q->push(big.data(), 0));
    EXPECT_FALSE(q->push(nullptr, 4));
}

TEST(MessageQueue, RemovingByIdNeverTakesAMessageThatArrivedAfterAClear) {
    auto q = std::make_unique<MessageQueue>(150);
    q->push(message(0, 1).data(), 12);
    Message sent;
    ASSERT_TRUE(q->front(sent));
    q->clear();  // the UDP listener empties the queue while the bridge writes `sent`
    q->push(message(0, 2).data(), 12);
    EXPECT_FALSE(q->popFrontIf(sent.id));
    Message next;
    ASSERT_TRUE(q->front(next));
    EXPECT_EQ(field(next, 4), 2u);
    EXPECT_TRUE(q->popFrontIf(next.id));
}

TEST(MessageQueue, CountsTheMotionFramesWaiting) {
    auto q = std::make_unique<MessageQueue>(150);
    const auto bytes = message(0, 0, 36);
    q->push(bytes.data(), 36, MessageKind::Motion);
    q->push(bytes.data(), 12, MessageKind::Host);
    q->push(bytes.data(), 36, MessageKind::Motion);
    EXPECT_EQ(q->motionCount(), 2u);
    q->popFront();
    EXPECT_EQ(q->motionCount(), 1u);
    Message m;
    q->front(m);
    q->popFrontIf(m.id);
    EXPECT_EQ(q->motionCount(), 1u) << "a host message left";
    q->clear();
    EXPECT_EQ(q->motionCount(), 0u);
}

TEST(MessageQueue, AWaitingConsumerWakesOnAPush) {
    auto q = std::make_unique<MessageQueue>(150);
    const std::uint64_t seen = q->pushCount();
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        q->push(message(0, 0).data(), 12);
    });
    EXPECT_TRUE(q->waitForPush(seen, std::chrono::steady_clock::now() + std::chrono::seconds(30)));
    producer.join();
    EXPECT_FALSE(
        q->waitForPush(q->pushCount(), std::chrono::steady_clock::now() + std::chrono::milliseconds(5)));
}

// Producers on several threads (host calls, the real-time thread), a consumer that copies, "writes"
// and removes by id (the bridge), and a thread that empties the queue now and then (the UDP listener
// after silence). Run under ThreadSanitizer; what arrives must be each producer's messages in order.
TEST(MessageQueue, ConcurrentProducersConsumerAndClearerKeepEachProducersOrder) {
    auto q = std::make_unique<MessageQueue>(150);
    constexpr std::uint32_t kProducers = 3;
    constexpr std::uint32_t kEach = 4000;
    std::atomic<bool> done{false};
    std::vector<std::thread> producers;
    for (std::uint32_t p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (std::uint32_t i = 0; i < kEach;) {
                if (q->push(message(p, i).data(), 12)) {
                    ++i;
                } else {
                    std::this_thread::yield();
                }
            }
        });
    }
    std::thread clearer([&] {
        while (!done.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            q->clear();
        }
    });
    std::vector<std::int64_t> last(kProducers, -1);
    std::size_t taken = 0;
    bool ordered = true;
    std::thread consumer([&] {
        Message m;
        while (!done.load() || !q->empty()) {
            if (!q->front(m)) {
                std::this_thread::yield();
                continue;
            }
            const std::uint32_t p = field(m, 0);
            const std::int64_t sequence = field(m, 4);
            ordered = ordered && p < kProducers && sequence > last[p];
            if (p < kProducers) last[p] = sequence;
            if (q->popFrontIf(m.id)) ++taken;
        }
    });
    for (auto& t : producers)
        t.join();
    done.store(true);
    clearer.join();
    consumer.join();
    EXPECT_TRUE(ordered);
    EXPECT_GT(taken, 0u);
    EXPECT_LE(taken, kProducers * kEach);
}

}  // namespace
}  // namespace tarvelmond::test
