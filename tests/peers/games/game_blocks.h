#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Shared-memory blocks as the games publish them, built from the values a test wants the game to
// report. Each builder writes the game's published layout, units and axes into a block of the game's
// size; nothing here knows how the library maps the values.
namespace tarvelmond::emulator {

using BlockSpan = std::span<std::uint8_t>;

void putI32(BlockSpan block, std::size_t offset, std::int32_t value);
void putU32(BlockSpan block, std::size_t offset, std::uint32_t value);
void putF32(BlockSpan block, std::size_t offset, float value);
void putF64(BlockSpan block, std::size_t offset, double value);

using Float3 = std::array<float, 3>;
using Double3 = std::array<double, 3>;

// ---- Assetto Corsa / Assetto Corsa EVO: "Local\acpmf_physics" and "Local\acpmf_graphics".

inline constexpr std::size_t kAcPhysicsBytes = 712;
inline constexpr std::size_t kAcGraphicsBytes = 1320;
inline constexpr std::int32_t kAcLive = 2;  // graphics status while driving

// The physics page: accelerations in g (the game divides by 9.81), angles in radians, angular velocity
// in rad/s about the car's x (pitch), y (yaw) and z (roll) axes, velocity in m/s.
struct AcPhysics {
    std::int32_t packetId = 0;
    Float3 accG{};
    float heading = 0, pitch = 0, roll = 0;
    Float3 localAngularVel{};
    Float3 localVelocity{};
};
void writeAcPhysics(BlockSpan block, const AcPhysics& physics);
void writeAcGraphics(BlockSpan block, std::int32_t packetId, std::int32_t status);

// ---- RaceRoom: "$R3E".

inline constexpr std::size_t kR3eBytes = 39320;

// The game's state and the player's data in SI units and radians (x, y, z of each vector as the game
// gives them; the orientation is pitch, yaw, roll), written where the version's published header puts
// them (versions 1.x to 3.5).
struct R3eBlock {
    std::int32_t versionMajor = 3, versionMinor = 2;
    std::int32_t gameMode = 0;  // 3.3 and later
    std::int32_t gamePaused = 0, gameInMenus = 0, gameInReplay = 0, gameUsingVr = 0;
    std::int32_t userId = 0;  // 3.4 and later
    std::int32_t simulationTicks = 0;
    Double3 localVelocity{};
    Double3 localAcceleration{};
    Double3 orientation{};
    Double3 angularAcceleration{};
    Double3 angularVelocity{};  // on the world axes
    Double3 localAngularVelocity{};
};
void writeR3e(BlockSpan block, const R3eBlock& r3e);

// ---- Project CARS 2 / Automobilista 2: "$pcars2$".

inline constexpr std::size_t kPcars2Bytes = 20700;
inline constexpr std::uint32_t kPcars2Playing = 2;

struct Pcars2Block {
    std::uint32_t gameState = kPcars2Playing;
    Float3 orientation{};  // radians
    Float3 localVelocity{};
    Float3 angularVelocity{};  // rad/s
    Float3 localAcceleration{};
};
void writePcars2(BlockSpan block, const Pcars2Block& pcars2);

// ---- iRacing: "Local\IRSDKMemMapFileName" with the event "Local\IRSDKDataValidEvent".

inline constexpr std::size_t kIRacingBytes = 1191936;  // 1164 KiB, as the game maps it

// The nine values the motion drivers use: accelerations with gravity in m/s^2, rates in rad/s,
// angles in radians.
enum IRacingVariable : std::uint32_t {
    kLatAccel,
    kLongAccel,
    kVertAccel,
    kYawRate,
    kRollRate,
    kPitchRate,
    kYaw,
    kRoll,
    kPitch,
    kIRacingVariables
};
using IRacingValues = std::array<float, kIRacingVariables>;

// The header (status, variable headers, three rotating data buffers) and its frames. Besides the nine
// the header lists other variables, among them the 360 Hz "_ST" ones whose names begin like the
// wanted ones, and it can leave any of the nine out (`missing`: bit i leaves out variable i).
class IRacingBlockWriter {
  public:
    static constexpr std::size_t kBuffers = 3;

    explicit IRacingBlockWriter(std::uint32_t missing = 0);

    void writeHeader(BlockSpan block, std::int32_t status) const;
    void setStatus(BlockSpan block, std::int32_t status) const;
    // Writes one frame into the next buffer of the rotation and gives that buffer the tick count.
    void writeFrame(BlockSpan block, std::int32_t tick, const IRacingValues& values);

  private:
    struct Variable {
        const char* name;
        std::int32_t type;  // 2 int, 4 float, 5 double
        std::int32_t count;
        std::size_t offset = 0;
        int wanted = -1;  // index in IRacingValues, or -1
    };
    static constexpr std::size_t kMostVariables = 24;
    std::array<Variable, kMostVariables> variables_{};
    std::size_t count_ = 0;
    std::size_t bufferLength_ = 0;
    std::size_t nextBuffer_ = 0;
};

// ---- rFactor 2, through the product's plug-in: "Local\Tarvelmond_rf2_data".

inline constexpr std::size_t kRFactor2Bytes = 1888;
inline constexpr std::uint32_t kRFactor2NoData = 1234567890u;

// The game's local axes: x left, y up, z back. The orientation matrix turns local vectors into world
// ones (row by row); rotations in rad/s about x (pitch), y (yaw), z (roll).
struct RFactor2Block {
    std::uint32_t firstWord = 0;
    double timeStamp = 0.0;
    Double3 localVelocity{};
    Double3 localAcceleration{};
    std::array<double, 9> orientation{1, 0, 0, 0, 1, 0, 0, 0, 1};
    Double3 localRotation{};
    Double3 localRotationAccel{};
};
void writeRFactor2(BlockSpan block, const RFactor2Block& rf2);

// ---- Euro Truck Simulator 2 / American Truck Simulator: "SCSTelemetryExample", packed.

inline constexpr std::size_t kTruckBytes = 177;

// Angles in revolutions (heading, pitch, roll), rates in revolutions per second (x pitch, y yaw,
// z roll), accelerations and velocities in m/s^2 and m/s.
struct TruckBlock {
    std::uint8_t running = 1;
    float heading = 0, pitch = 0, roll = 0;
    float speed = 0, rpm = 0;
    Float3 linearVelocity{};
    Float3 angularVelocity{};
    Float3 linearAcceleration{};
    Float3 angularAcceleration{};
};
void writeTruck(BlockSpan block, const TruckBlock& truck);

}  // namespace tarvelmond::emulator
