// Assetto Corsa and Assetto Corsa EVO: the physics page. Accelerations arrive in g (of the game's 9.81)
// without gravity, angles and rates in radians; the game's vertical axis, heading and roll run opposite
// to the record's.
#include "games/assetto_corsa_reader.h"

#include "basics/frame_timer.h"
#include "games/byte_view.h"
#include "games/float_fields.h"
#include "games/game_registry.h"
#include "games/kinematics.h"
#include "games/telemetry_record.h"

namespace tarvelmond {
namespace {

// The game's own g, which its accelerations were divided by.
constexpr double kAcGravity = 9.81;
// The last field read (local velocity z at 576) ends here.
constexpr std::size_t kAcFieldsEnd = 580;

// The physics page: accelerations in g, the game's vertical axis, heading and roll reversed.
constexpr FloatField kPhysicsFields[] = {
    {Channel::lateral_accel, 44, kAcGravity},  {Channel::longitu_accel, 52, kAcGravity},
    {Channel::vertica_accel, 48, -kAcGravity}, {Channel::lateral_speed, 568, 1.0},
    {Channel::longitu_speed, 576, 1.0},        {Channel::vertica_speed, 572, 1.0},
    {Channel::yaw_speed, 300, kRadToDeg},      {Channel::roll_speed, 304, kRadToDeg},
    {Channel::pitch_speed, 296, kRadToDeg},    {Channel::yaw_position, 208, -kRadToDeg},
    {Channel::roll_position, 216, -kRadToDeg}, {Channel::pitch_position, 212, kRadToDeg},
};

}  // namespace

int parseAssettoCorsaPhysics(BlockBytes physics, std::uint32_t& lastPacket, TelemetryRecord& record) {
    const ByteView bytes(physics);
    if (bytes.size() < kAcFieldsEnd) return 0;
    const std::uint32_t packet = *bytes.u32le(0);
    if (packet == lastPacket) return 0;
    lastPacket = packet;
    readFloatFields(bytes, kPhysicsFields, record);
    return 1;
}

int readAssettoCorsa(const platform::SharedMemory& physics, std::uint32_t& lastPacket,
                     const ReaderContext& context) {
    if (!physics.isOpen()) return 0;
    if (parseAssettoCorsaPhysics(viewBytes(physics), lastPacket, context.record) == 0) return 0;
    context.onGround = 0;
    updateFrameTime(context.timer, context.record);
    applyGravitySplit(context.record, GravityMode::WithoutGravity);
    return 1;
}

namespace {

using platform::SharedMemory;
using platform::ViewAccess;

constexpr const char* kPhysicsBlock = "Local\\acpmf_physics";
constexpr const char* kGraphicsBlock = "Local\\acpmf_graphics";
constexpr std::size_t kPhysicsSize = 712;
constexpr std::size_t kGraphicsSize = 1320;
constexpr std::uint32_t kLiveStatus = 2;

constexpr const char* kBlocks[] = {kPhysicsBlock, kGraphicsBlock};
constexpr GameIdentity kIdentity{kAssettoCorsa, "AssettoCorsa/Comp.", 0, kBlocks};

constexpr const char* kEvoBlocks[] = {kPhysicsBlock};
constexpr const char* kEvoProcesses[] = {"AssettoCorsaEVO.exe"};
constexpr GameIdentity kEvoIdentity{kAssettoCorsaEvo, "AssettoCorsaEvo", 0, kEvoBlocks, kEvoProcesses};

// The game is live when its graphics block says so (status 2).
bool openLiveGraphics(SharedMemory& graphics) {
    return graphics.createOrOpen(kGraphicsBlock, kGraphicsSize, ViewAccess::ReadOnly) &&
           blockWord(graphics, 4) == kLiveStatus;
}

bool openPhysics(SharedMemory& physics) {
    return physics.createOrOpen(kPhysicsBlock, kPhysicsSize, ViewAccess::ReadOnly);
}

class AssettoCorsaReader final : public GameReader {
  public:
    AssettoCorsaReader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override {
        SharedMemory graphics;
        return openLiveGraphics(graphics);
    }
    int connect() override {
        if (openPhysics(slot_.physics) && openLiveGraphics(slot_.graphics)) return 1;
        disconnect();
        return 0;
    }
    int read(const ReaderContext& context) override {
        return readAssettoCorsa(slot_.physics, slot_.lastPacket, context);
    }
    void disconnect() override {
        slot_.graphics.close();
        slot_.physics.close();
    }
    bool holdsChannel() const override { return slot_.physics.isOpen() || slot_.graphics.isOpen(); }

  private:
    AssettoCorsaSlot slot_;
};

// EVO shares the first game's physics page but publishes no status: its process decides.
class AssettoCorsaEvoReader final : public GameReader {
  public:
    AssettoCorsaEvoReader(const GameIdentity& identity, const GameServices&) : GameReader(identity) {}

    bool detect() override {
        SharedMemory physics;
        return openPhysics(physics) && anyProcessRunning(identity().processNames);
    }
    int connect() override { return openPhysics(slot_.physics) ? 1 : 0; }
    int read(const ReaderContext& context) override {
        return readAssettoCorsa(slot_.physics, slot_.lastPacket, context);
    }
    void disconnect() override { slot_.physics.close(); }
    bool holdsChannel() const override { return slot_.physics.isOpen(); }

  private:
    AssettoCorsaEvoSlot slot_;
};

}  // namespace

extern const GameEntry kAssettoCorsaGame, kAssettoCorsaEvoGame;
const GameEntry kAssettoCorsaGame{kIdentity, makeReader<kIdentity, AssettoCorsaReader>};
const GameEntry kAssettoCorsaEvoGame{kEvoIdentity, makeReader<kEvoIdentity, AssettoCorsaEvoReader>};

}  // namespace tarvelmond
