// Euro Truck Simulator 2 and American Truck Simulator: the "SCSTelemetryExample" block of the game's
// telemetry plug-in, a packed layout of floats. Angles arrive in revolutions (rates in revolutions per
// second, and per second squared).
#include "games/truck_reader.h"

#include <algorithm>

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/float_fields.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

constexpr double kRevolution = 360.0;  // degrees
// The last field read (roll acceleration at 113) ends here.
constexpr std::size_t kFieldsEnd = 117;

// The motion fields; rates in revolutions, the game's longitudinal axis and roll reversed. The angles
// follow, clamped to their ranges.
constexpr FloatField kMotionFields[] = {
    {Channel::speed, 41, 1.0},
    {Channel::rpm, 45, 1.0},
    {Channel::lateral_speed, 69, 1.0},
    {Channel::longitu_speed, 77, -1.0},
    {Channel::vertica_speed, 73, 1.0},
    {Channel::lateral_accel, 93, 1.0},
    {Channel::longitu_accel, 101, -1.0},
    {Channel::vertica_accel, 97, 1.0},
    {Channel::yaw_speed, 85, kRevolution},
    {Channel::roll_speed, 89, -kRevolution},
    {Channel::pitch_speed, 81, kRevolution},
    {Channel::yaw_accel, 109, kRevolution},
    {Channel::roll_accel, 113, -kRevolution},
    {Channel::pitch_accel, 105, kRevolution},
};

}  // namespace

int parseTruckBlock(BlockBytes block, TelemetryRecord& record) {
    const ByteView bytes(block);
    if (bytes.size() < kFieldsEnd || bytes.u8(0) == 0) return 0;
    const auto value = [&](std::size_t offset) { return static_cast<double>(bytes.f32le(offset)); };
    readFloatFields(bytes, kMotionFields, record);
    record.set(Channel::yaw_position, std::clamp(value(25) * kRevolution, 0.0, 360.0));
    record.set(Channel::roll_position, std::clamp(-value(33) * kRevolution, -180.0, 180.0));
    record.set(Channel::pitch_position, std::clamp(value(29) * kRevolution, -90.0, 90.0));
    return 1;
}

int readTruck(const platform::SharedMemory& block, const ReaderContext& context) {
    if (!block.isOpen() || parseTruckBlock(viewBytes(block), context.record) == 0) return 0;
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

using platform::SharedMemory;
using platform::ViewAccess;

constexpr const char* kBlock = "SCSTelemetryExample";
constexpr std::size_t kBlockSize = 177;
constexpr const char* kBlocks[] = {kBlock};
constexpr const char* kProcesses[] = {"eurotrucks2.exe"};
constexpr GameIdentity kIdentity{kEts2, "ETSM2/AMT", 0, kBlocks, kProcesses};

bool openBlock(SharedMemory& block) {
    return block.createOrOpen(kBlock, kBlockSize, ViewAccess::ReadOnly);
}

class TruckReader final : public GameReader {
  public:
    TruckReader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override {
        SharedMemory block;
        return openBlock(block) && anyProcessRunning(identity().processNames);
    }
    int connect() override { return openBlock(block_) ? 1 : 0; }
    int read(const ReaderContext& context) override { return readTruck(block_, context); }
    void disconnect() override { block_.close(); }
    bool holdsChannel() const override { return block_.isOpen(); }

  private:
    SharedMemory block_;
};

}  // namespace

extern const GameEntry kEts2Game;
const GameEntry kEts2Game{kIdentity, makeReader<kIdentity, TruckReader>};

}  // namespace tarvelmond
