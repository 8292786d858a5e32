// rFactor 2, through the product's plug-in inside the game: "Local\Tarvelmond_rf2_data". All values
// are doubles in the game's local axes (x left, y up, z back), SI units and radians; the orientation
// is the game's 3x3 matrix, row by row.
#include "games/rfactor2_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

constexpr std::size_t kTimeStamp = 12;
constexpr std::size_t kOrientation = 232;
// The last field read (roll acceleration at 344) ends here.
constexpr std::size_t kFieldsEnd = 352;

struct Quaternion {
    double w, x, y, z;
};

// The quaternion of a rotation matrix, taking the square root of the largest of the four candidates
// so that no division comes near zero.
Quaternion toQuaternion(const std::array<double, 9>& m) {
    const double t = m[0] + m[4] + m[8];
    if (t + 1.0 > 0.0625) {
        const double s = std::sqrt(t + 1.0);
        const double k = 0.5 / s;
        return {s / 2.0, (m[7] - m[5]) * k, (m[2] - m[6]) * k, (m[3] - m[1]) * k};
    }
    if (m[0] > m[4] && m[0] > m[8]) {
        const double s = std::sqrt(m[0] + 1.0 - m[4] - m[8]);
        const double k = 0.5 / s;
        return {(m[7] - m[5]) * k, s / 2.0, (m[3] + m[1]) * k, (m[6] + m[2]) * k};
    }
    if (m[4] > m[8]) {
        const double s = std::sqrt(m[4] + 1.0 - m[0] - m[8]);
        const double k = 0.5 / s;
        return {(m[2] - m[6]) * k, (m[3] + m[1]) * k, s / 2.0, (m[7] + m[5]) * k};
    }
    const double s = std::sqrt(m[8] + 1.0 - m[0] - m[4]);
    const double k = 0.5 / s;
    return {(m[3] - m[1]) * k, (m[2] + m[6]) * k, (m[7] + m[5]) * k, s / 2.0};
}

}  // namespace

Attitude rFactor2Attitude(const std::array<double, 9>& m) {
    const auto [w, x, y, z] = toQuaternion(m);
    // Rounding can carry the sine a hair past 1 at a right-angle roll.
    const double rollSine = std::clamp(2.0 * (x * y + w * z), -1.0, 1.0);
    return {
        .yawDeg = -std::atan2(2.0 * (y * w - x * z), 1.0 - 2.0 * (y * y + z * z)) * kRadToDeg,
        .pitchDeg = std::atan2(2.0 * (w * x - y * z), 1.0 - 2.0 * (x * x + z * z)) * kRadToDeg,
        .rollDeg = std::asin(rollSine) * kRadToDeg,
    };
}

int parseRFactor2Block(BlockBytes block, double& lastTimeStamp, TelemetryRecord& record) {
    const ByteView bytes(block);
    if (bytes.size() < kFieldsEnd) return 0;
    const double timeStamp = bytes.f64le(kTimeStamp);
    if (!(timeStamp > lastTimeStamp)) {
        // A session restart sets the game's clock back: from there on its frames count as new again.
        if (std::isfinite(timeStamp) && timeStamp < lastTimeStamp) lastTimeStamp = timeStamp;
        return 0;
    }
    lastTimeStamp = timeStamp;
    const auto value = [&](std::size_t offset) { return bytes.f64le(offset); };
    record.set(Channel::lateral_accel, -value(208));
    record.set(Channel::longitu_accel, -value(224));
    record.set(Channel::vertica_accel, value(216));
    record.set(Channel::lateral_speed, -value(184));
    record.set(Channel::longitu_speed, -value(200));
    record.set(Channel::vertica_speed, value(192));
    record.set(Channel::yaw_speed, -value(312) * kRadToDeg);
    record.set(Channel::roll_speed, value(320) * kRadToDeg);
    record.set(Channel::pitch_speed, value(304) * kRadToDeg);
    record.set(Channel::yaw_accel, -value(336) * kRadToDeg);
    record.set(Channel::roll_accel, value(344) * kRadToDeg);
    record.set(Channel::pitch_accel, value(328) * kRadToDeg);

    std::array<double, 9> orientation{};
    for (std::size_t i = 0; i < orientation.size(); ++i)
        orientation[i] = value(kOrientation + 8 * i);
    const Attitude attitude = rFactor2Attitude(orientation);
    record.set(Channel::yaw_position, attitude.yawDeg);
    record.set(Channel::roll_position, attitude.rollDeg);
    record.set(Channel::pitch_position, attitude.pitchDeg);
    return 1;
}

int readRFactor2(RFactor2Slot& slot, const ReaderContext& context) {
    if (!slot.connected || !slot.block.isOpen()) return 0;
    if (parseRFactor2Block(viewBytes(slot.block), slot.lastTimeStamp, context.record) == 0) return 0;
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

using platform::ViewAccess;

constexpr const char* kBlock = "Local\\Tarvelmond_rf2_data";
constexpr std::size_t kBlockSize = 1888;
// The plug-in's first word until it has data.
constexpr std::uint32_t kNotReady = 1234567890U;
constexpr const char* kBlocks[] = {kBlock};
constexpr const char* kProcesses[] = {"rFactor2.exe"};
constexpr GameIdentity kIdentity{kRFactor2, "rFactor2", 0, kBlocks, kProcesses};

class RFactor2Reader final : public GameReader {
  public:
    RFactor2Reader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override {
        return anyProcessRunning(identity().processNames) && platform::sharedMemoryExists(kBlock);
    }
    int connect() override {
        if (slot_.connected || !anyProcessRunning(identity().processNames)) {
            slot_.block.close();
            slot_.connected = false;
            return 0;
        }
        if (!platform::sharedMemoryExists(kBlock) ||
            !slot_.block.openExisting(kBlock, kBlockSize, ViewAccess::ReadOnly)) {
            reportOpenFailure(kBlock);
            return 0;
        }
        if (blockWord(slot_.block, 0) == kNotReady) {
            slot_.block.close();
            return 0;
        }
        std::fputs("Memory mapped successfully\n", stdout);
        slot_.connected = true;
        // A new connection takes the game's clock as it finds it, even if a restarted session set it back.
        slot_.lastTimeStamp = kNoTimeStampSeen;
        return 1;
    }
    int read(const ReaderContext& context) override { return readRFactor2(slot_, context); }
    void disconnect() override {
        // The view is released too, so a stopped game source holds no mapping; the next connection maps
        // the block afresh.
        slot_.block.close();
        slot_.connected = false;
    }
    bool holdsChannel() const override { return slot_.block.isOpen(); }

  private:
    RFactor2Slot slot_;
};

}  // namespace

extern const GameEntry kRFactor2Game;
const GameEntry kRFactor2Game{kIdentity, makeReader<kIdentity, RFactor2Reader>};

}  // namespace tarvelmond
