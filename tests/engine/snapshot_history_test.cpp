// The histories the host collects: what a record holds, how many are kept, how they are handed out.
#include <gtest/gtest.h>
#include <tarvelmond.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "basics/snapshot_history.h"
#include "engine/motion_engine.h"
#include "support/engine_fixture.h"

namespace tarvelmond::test {
namespace {

TEST(SnapshotHistory, TakesEverythingOnceOldestFirstAndKeepsTheNewest150) {
    auto history = std::make_unique<SnapshotHistory<43>>();
    int count = -1;
    EXPECT_EQ(history->take(&count), nullptr);
    EXPECT_EQ(count, 0);
    for (int i = 0; i < 200; ++i) {
        SnapshotHistory<43>::Record record{};
        record[0] = i;
        record[42] = -i;
        history->append(record);
    }
    double* block = history->take(&count);
    ASSERT_EQ(count, 150);
    EXPECT_EQ(block[0], 50.0) << "the records of the last 150 appends";
    EXPECT_EQ(block[42], -50.0);
    EXPECT_EQ(block[149 * 43], 199.0);
    freeSnapshotBlock(block);
    EXPECT_EQ(history->take(&count), nullptr) << "a second call finds nothing";
    EXPECT_EQ(count, 0);
    freeSnapshotBlock(nullptr);
}

// The ticking thread appends while host threads take: every record handed out is whole (never half
// of an older one), none comes twice or out of order, and the only ones missing are the oldest that
// the ring overwrote. Run under ThreadSanitizer as well.
TEST(SnapshotHistory, TakesDuringAppendsHandOutWholeRecordsOnceInOrder) {
    constexpr std::size_t kWidth = 43;
    auto history = std::make_unique<SnapshotHistory<kWidth>>();
    constexpr int kAppends = 200000;
    std::atomic<bool> done{false};
    std::thread ticker([&] {
        for (int i = 1; i <= kAppends; ++i) {
            SnapshotHistory<kWidth>::Record record;
            record.fill(static_cast<double>(i));
            history->append(record);
        }
        done.store(true);
    });
    std::vector<std::vector<double>> taken(2);
    std::vector<std::thread> hosts;
    for (auto& mine : taken) {
        hosts.emplace_back([&] {
            for (bool last = false; !last;) {
                last = done.load();
                int count = 0;
                double* block = history->take(&count);
                for (int r = 0; r < count; ++r) {
                    const double* record = block + static_cast<std::ptrdiff_t>(r) * kWidth;
                    if (std::all_of(record, record + kWidth, [&](double v) { return v == record[0]; })) {
                        mine.push_back(record[0]);
                    } else {
                        mine.push_back(-1.0);  // torn
                    }
                }
                freeSnapshotBlock(block);
            }
        });
    }
    ticker.join();
    for (auto& h : hosts)
        h.join();
    std::vector<double> all;
    for (const auto& mine : taken) {
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end())) << "a host's takes come oldest first";
        all.insert(all.end(), mine.begin(), mine.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_TRUE(all.empty() || all.front() > 0.0) << "a torn record was handed out";
    EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "a record handed out twice";
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), kAppends) << "the last record reaches the host";
}

TEST(SnapshotHistory, TheWorkedTickRecordsShapedCuesAndRawData) {
    EngineUnderTest e;
    e.setInputLimit(1, -100.0, 100.0);
    e.install(0, 1, "GAIN(VALUE;2)");
    e.install(0, 12, "GAIN(VALUE;3)");  // a belt input: only the AIR stage carries it
    e.setChannel(Channel::longitu_accel_g, 1.5);
    e.setChannel(Channel::vertica_accel_g, 4.0);
    EXPECT_EQ(e->positionSnapshot, CueArray{}) << "zeros before the first worked tick";
    e.tick();
    e.tick();

    int count = 0;
    double* positions = e->calculationHistory.take(&count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(positions[23 + 1], e->cues.finalCues[1]);
    EXPECT_EQ(positions[23 + 12], 12.0) << "the belt input's shaped value";
    EXPECT_EQ(e->positionSnapshot[12], 12.0);
    EXPECT_EQ(e->positionSnapshot[1], e->cues.finalCues[1]);
    double* data = e->accelerationHistory.take(&count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(data[43 + 7], 1.5);
    EXPECT_EQ(data[43 + 42], e->gameSource.record.get(Channel::belt_sum));
    // One release operation for both kinds of block.
    FreeCalculationSnapshots(data);
    FreeAccelerationSnapshots(positions);
}

}  // namespace
}  // namespace tarvelmond::test
