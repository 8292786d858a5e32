// The text readers (DCS, Condor 2) over loopback UDP and the NoLimits 2 reader against the emulator's
// TCP telemetry server.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <string>

#include "games/nolimits_link.h"
#include "nolimits_server.h"
#include "reader_harness.h"

namespace tarvelmond::test {
namespace {

using namespace emulator;
constexpr double g = 9.80665;
constexpr double kDeg = std::numbers::pi / 180.0;

Bytes text(const std::string& s) {
    return {s.begin(), s.end()};
}

// ---- DCS

TEST(DcsReader, ReadsTheTwentyFiveNumbersIntoTheirChannels) {
    ReaderHarness h;
    std::vector<double> numbers(25, 0.0);
    numbers[0] = 0.25;          // longitudinal g
    numbers[1] = 0.5;           // lateral g
    numbers[2] = 1.0;           // vertical g
    numbers[4] = 70.0;          // longitudinal speed
    numbers[6] = 0.1;           // yaw rate, rad/s
    numbers[11] = 10.0 * kDeg;  // pitch, radians
    numbers[13] = 0.75;         // front-left gear
    numbers[15] = 0.5;          // rear-left gear
    numbers[24] = 100.5;        // simulation time
    h.record.setSimTimePrev(100.0);
    h.deliver({dcsLine(numbers)});
    ASSERT_EQ(h.readUntilData([&] { return readDcs(h.port, h.context()); }), 1);
    EXPECT_NEAR(h.record.get(Channel::longitu_accel_g), 0.25 * g, 1e-9);
    EXPECT_NEAR(h.record.get(Channel::lateral_accel_g), 0.5 * g, 1e-9);
    EXPECT_EQ(h.record.get(Channel::longitu_speed), 70.0);
    EXPECT_NEAR(h.record.get(Channel::yaw_speed), 0.1 / kDeg, 1e-9);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 10.0, 1e-4);
    EXPECT_EQ(h.record.get(Channel::fr_lft_susp_pos), 0.75);
    EXPECT_EQ(h.record.get(Channel::re_lft_susp_pos), 0.5);
    EXPECT_NEAR(h.record.simStepMs, 500.0, 1e-9);
    EXPECT_EQ(h.record.simTimePrev, 100.5);
    EXPECT_NEAR(h.record.get(Channel::vertica_accel), g - g * std::cos(10.0 * kDeg), 1e-3)
        << "the accelerations arrive with gravity";
}

TEST(DcsReader, AShortTokenZeroesItAndEverythingAfterIt) {
    TelemetryRecord record;
    record.set(Channel::lateral_speed, 9.0);
    parseDcsDatagram(text("0.500000 0.500000 0.5 1.000000 2.000000\n"), record);
    EXPECT_NEAR(record.get(Channel::longitu_accel_g), 0.5 * g, 1e-9);
    EXPECT_NEAR(record.get(Channel::lateral_accel_g), 0.5 * g, 1e-9);
    EXPECT_EQ(record.get(Channel::vertica_accel_g), 0.0) << "0.5 has fewer than six characters";
    EXPECT_EQ(record.get(Channel::lateral_speed), 0.0) << "nothing was consumed, so the rest reads 0";
}

TEST(DcsReader, TokensThatAreNoNumbersLeaveTheirChannelsAndTheThreadAlone) {
    TelemetryRecord record;
    record.set(Channel::longitu_accel_g, 3.0);
    record.set(Channel::lateral_accel_g, 4.0);
    record.set(Channel::vertica_accel_g, 5.0);
    record.setSimTimePrev(7.0);
    std::string line = "abcdefg nan000 1e9999 2.000000";
    for (int i = 4; i < 25; ++i)
        line += " garbage";
    parseDcsDatagram(text(line + " \n"), record);
    EXPECT_EQ(record.get(Channel::longitu_accel_g), 3.0) << "not a number";
    EXPECT_EQ(record.get(Channel::lateral_accel_g), 4.0) << "not finite";
    EXPECT_EQ(record.get(Channel::vertica_accel_g), 5.0) << "out of range";
    EXPECT_EQ(record.get(Channel::lateral_speed), 2.0) << "later numbers are still read";
    EXPECT_EQ(record.simTimePrev, 7.0);

    // Text without any line end, and text that is nothing but digits, stop at their own end.
    parseDcsDatagram(text("1234567"), record);
    parseDcsDatagram(text(std::string(8192, '9')), record);
    parseDcsDatagram(text(""), record);
}

// ---- Condor 2

TEST(CondorReader, KeysKeepTheirLastValueAndRefillTheRecordEveryTime) {
    ReaderHarness h;
    CondorState state;
    const Bytes first = condorText({{"time", "12.5"},
                                    {"pitch", "0.1745329"},
                                    {"bank", "0.0872665"},
                                    {"yaw", "3.14159265"},
                                    {"ax", "1.5"},
                                    {"vy", "30"},
                                    {"yawrate", "0.2"},
                                    {"flaps", "2.7"},
                                    {"hudmessages", "thermal ahead"}});
    h.deliver({first});
    ASSERT_EQ(h.readUntilData([&] { return readCondor(h.port, h.context(), state); }), 1);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 10.0, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::roll_position), -5.0, 1e-4);
    EXPECT_NEAR(h.record.get(Channel::yaw_position), 0.0, 1e-4);
    EXPECT_FLOAT_EQ(h.record.get(Channel::lateral_accel), 1.5);
    EXPECT_EQ(h.record.get(Channel::longitu_speed), 30.0);
    EXPECT_EQ(state.flaps, 2);
    EXPECT_EQ(std::string(state.hudMessages.data(), state.hudLength), "thermal ahead\r");

    // Only the pitch this time (padded past the shortest datagram): everything else is refilled.
    h.deliver({condorText({{"pitch", "0.0872665"}, {"unknownkey", "5"}, {"no equals sign here", ""}})});
    ASSERT_EQ(h.readUntilData([&] { return readCondor(h.port, h.context(), state); }), 1);
    EXPECT_NEAR(h.record.get(Channel::pitch_position), 5.0, 1e-4);
    EXPECT_FLOAT_EQ(h.record.get(Channel::lateral_accel), 1.5);
    EXPECT_EQ(h.record.get(Channel::longitu_speed), 30.0);
}

TEST(CondorReader, ReadsNoFurtherThanTheDatagramAndSkipsShortOnes) {
    ReaderHarness h;
    CondorState state;
    h.deliver({condorText({{"pitch", "1"}})});
    EXPECT_EQ(readCondor(h.port, h.context(), state), 0) << "shorter than 42 bytes";
    EXPECT_EQ(state.values[12], 0.0f);

    // No zero byte anywhere and a value running to the very end; a huge hud text is cut.
    parseCondorDatagram(text("ax=1.25\nhudmessages=" + std::string(5000, 'x') + "\nay=2.5"), state);
    EXPECT_EQ(state.values[17], 1.25f);
    EXPECT_EQ(state.values[18], 2.5f);
    EXPECT_EQ(state.hudLength, CondorState::kHudCapacity);
    parseCondorDatagram(text("flaps=nan\nflaps=1e30\naz=nan"), state);
    EXPECT_EQ(state.flaps, 0) << "a flap value no integer holds leaves the setting";
    TelemetryRecord record;
    record.set(Channel::vertica_accel, 1.0);
    fillCondorRecord(state, record);
    EXPECT_EQ(record.get(Channel::vertica_accel), 1.0) << "a NaN never reaches the record";
}

// ---- NoLimits 2

class NoLimitsReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.listening()) << "port 15151 is taken";
        ASSERT_EQ(connectNoLimits(state_), 1);
        timer_.tick();
    }
    void TearDown() override { disconnectNoLimits(state_); }

    int readUntilData() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int result = 0;
        while ((result = readNoLimits(state_, {timer_, record_, onGround_})) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            sleepFor(std::chrono::milliseconds(2));
        }
        return result;
    }

    NoLimitsServer server_;
    NoLimitsState state_;
    FrameTimer timer_;
    TelemetryRecord record_;
    std::uint32_t onGround_ = 0;
};

TEST_F(NoLimitsReaderTest, ReadsAttitudeAndLoadsFromTheTelemetryServer) {
    const double half = 10.0 * kDeg / 2.0;  // pitched up 10 degrees about X
    server_.setTelemetry({.speed = 22.0f,
                          .qx = static_cast<float>(std::sin(half)),
                          .qw = static_cast<float>(std::cos(half)),
                          .gx = -0.5f,
                          .gy = 1.0f,
                          .gz = 0.1f});
    ASSERT_EQ(readUntilData(), 1);
    EXPECT_NEAR(record_.get(Channel::pitch_position), 10.0, 1e-4);
    EXPECT_NEAR(record_.get(Channel::roll_position), 0.0, 1e-4);
    EXPECT_EQ(record_.get(Channel::speed), 22.0);
    EXPECT_GT(record_.get(Channel::ldg_gear), 0.0) << "the frame number";
    EXPECT_NEAR(record_.get(Channel::lateral_accel_g), 0.5 * g, 1e-5);
    EXPECT_NEAR(record_.get(Channel::vertica_accel_g), g, 1e-5);
    EXPECT_NEAR(record_.get(Channel::longitu_accel_g), 0.1 * g, 1e-5);
    EXPECT_NEAR(record_.get(Channel::lateral_accel),
                record_.get(Channel::lateral_accel_g) - record_.get(Channel::lateral_gravi), 1e-12);
    EXPECT_GT(record_.frameTimeMs, 0.0);
}

TEST_F(NoLimitsReaderTest, ARepeatedFrameIsNoNewData) {
    server_.setAdvanceFrames(false);
    server_.setTelemetry({.frame = 77});
    ASSERT_EQ(readUntilData(), 1);
    const std::uint32_t before = server_.telemetryReplies();
    int newFrames = 0;
    while (server_.telemetryReplies() < before + 5) {
        newFrames += readNoLimits(state_, {timer_, record_, onGround_});
        sleepFor(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(newFrames, 0);
    server_.setTelemetry({.state = 0, .frame = 78});
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(readNoLimits(state_, {timer_, record_, onGround_}), 0) << "state 0: not riding";
        sleepFor(std::chrono::milliseconds(2));
    }
}

// Rates and velocities come out of filters fed reply by reply.
TEST(NoLimitsTelemetry, RatesFollowSmallTurnsAndHoldOverLargeJumps) {
    NoLimitsState state;
    TelemetryRecord record;
    record.frameTimeMs = 10.0;
    auto reply = [&](int frame, double yawDeg) {
        const double half = yawDeg * kDeg / 2.0;  // about the Z axis
        const Bytes message = noLimitsTelemetryReply(1, {.frame = frame,
                                                         .qz = static_cast<float>(std::sin(half)),
                                                         .qw = static_cast<float>(std::cos(half)),
                                                         .gy = 1.0f});
        std::size_t consumed = 0;
        return applyNoLimitsTelemetry(newestNoLimitsTelemetry(message, consumed), state, record);
    };
    ASSERT_EQ(reply(1, 0.0), 1);
    ASSERT_EQ(reply(2, 1.0), 1);  // 1 degree in one 10 ms step
    const double rate = record.get(Channel::yaw_speed);
    EXPECT_NEAR(rate, 0.98 * 0.99 * 100.0, 0.5);
    EXPECT_NEAR(record.get(Channel::fr_lft_susp_pos), 1.0 * kDeg, 1e-6);
    ASSERT_EQ(reply(3, 91.0), 1);  // 90 degrees at once: the filtered rate stands
    EXPECT_EQ(record.get(Channel::yaw_speed), rate);
    EXPECT_EQ(reply(3, 92.0), 0) << "same frame number";
}

TEST(NoLimitsTelemetry, VelocitySnapsToZeroAfterFiftyStillReplies) {
    NoLimitsState state;
    TelemetryRecord record;
    record.frameTimeMs = 10.0;
    std::size_t consumed = 0;
    int frame = 0;
    auto reply = [&](float gz) {
        const Bytes message = noLimitsTelemetryReply(1, {.frame = ++frame, .gy = 1.0f, .gz = gz});
        return applyNoLimitsTelemetry(newestNoLimitsTelemetry(message, consumed), state, record);
    };
    for (int i = 0; i < 30; ++i)
        reply(0.5f);  // accelerating forward
    EXPECT_GT(record.get(Channel::longitu_speed), 0.5);
    int stillReplies = 0;
    while (record.get(Channel::longitu_speed) != 0.0 && stillReplies < 5000) {
        reply(0.0f);
        ++stillReplies;
    }
    EXPECT_GT(stillReplies, 50) << "at least 51 still replies before the snap";
    EXPECT_EQ(record.get(Channel::longitu_speed), 0.0);
}

TEST(NoLimitsTelemetry, RepliesSplitOrBatchedOrBrokenAreFramedSafely) {
    const Bytes a = noLimitsTelemetryReply(1, {.frame = 1, .speed = 1.0f});
    const Bytes b = noLimitsTelemetryReply(2, {.frame = 2, .speed = 2.0f});
    Bytes stream = text("garbage");
    stream.insert(stream.end(), a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.begin() + 40);  // b is still arriving
    std::size_t consumed = 0;
    auto newest = newestNoLimitsTelemetry(stream, consumed);
    ASSERT_EQ(newest.size(), kNoLimitsTelemetrySize);
    EXPECT_EQ(consumed, 7 + a.size()) << "the incomplete reply stays for the next call";
    stream.insert(stream.end(), b.begin() + 40, b.end());
    newest = newestNoLimitsTelemetry(stream, consumed);
    NoLimitsState state;
    TelemetryRecord record;
    ASSERT_EQ(applyNoLimitsTelemetry(newest, state, record), 1);
    EXPECT_EQ(record.get(Channel::speed), 2.0) << "the newest complete reply wins";

    const Bytes broken = noLimitsTelemetryReply(3, {.frame = 3, .qx = std::nanf(""), .qw = 1.0f});
    EXPECT_EQ(applyNoLimitsTelemetry(newestNoLimitsTelemetry(broken, consumed), state, record), 0);
    const Bytes zero = noLimitsTelemetryReply(4, {.frame = 4, .qw = 0.0f});
    EXPECT_EQ(applyNoLimitsTelemetry(newestNoLimitsTelemetry(zero, consumed), state, record), 0);
    for (double rate : state.filteredRate)
        EXPECT_TRUE(std::isfinite(rate));
}

}  // namespace
}  // namespace tarvelmond::test
