#include "block_publisher.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <thread>
#include <vector>

namespace tarvelmond::emulator {
namespace {

using platform::SharedMemory;
using platform::ViewAccess;
using namespace std::chrono_literals;

// The games' own names for their blocks.
constexpr const char* kAcPhysicsName = "Local\\acpmf_physics";
constexpr const char* kAcGraphicsName = "Local\\acpmf_graphics";
constexpr const char* kR3eName = "$R3E";
constexpr const char* kPcars2Name = "$pcars2$";
constexpr const char* kIRacingName = "Local\\IRSDKMemMapFileName";
constexpr const char* kIRacingEventName = "Local\\IRSDKDataValidEvent";
constexpr const char* kRFactor2Name = "Local\\Tarvelmond_rf2_data";
constexpr const char* kTruckName = "SCSTelemetryExample";

struct GameFacts {
    BlockGame game;
    const char* name;     // on the command line
    const char* process;  // executable
    const char* block;
    std::size_t size;
};

constexpr GameFacts kGames[] = {
    {BlockGame::AssettoCorsa, "assetto", "acs.exe", kAcPhysicsName, kAcPhysicsBytes},
    {BlockGame::AssettoCorsaEvo, "assetto-evo", "AssettoCorsaEVO.exe", kAcPhysicsName, kAcPhysicsBytes},
    {BlockGame::RaceRoom, "raceroom", "RRRE64.exe", kR3eName, kR3eBytes},
    {BlockGame::Pcars2, "pcars2", "AMS2AVX.exe", kPcars2Name, kPcars2Bytes},
    {BlockGame::IRacing, "iracing", "iRacingSim64DX11.exe", kIRacingName, kIRacingBytes},
    {BlockGame::RFactor2, "rfactor2", "rFactor2.exe", kRFactor2Name, kRFactor2Bytes},
    {BlockGame::Truck, "truck", "eurotrucks2.exe", kTruckName, kTruckBytes},
};

const GameFacts& facts(BlockGame game) {
    for (const GameFacts& f : kGames) {
        if (f.game == game) return f;
    }
    return kGames[0];
}

BlockScene readScene(PublisherControl& control) {
    std::atomic_ref<std::uint32_t> sequence(control.sequence);
    BlockScene scene;
    for (;;) {
        const std::uint32_t before = sequence.load(std::memory_order_acquire);
        if ((before & 1U) == 0) {
            std::memcpy(&scene, &control.scene, sizeof scene);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (sequence.load(std::memory_order_relaxed) == before) return scene;
        }
        std::this_thread::yield();
    }
}

// The game's side of its block(s): opens, writes frames with advancing counters, closes.
class Publication {
  public:
    explicit Publication(BlockGame game) : game_(game) {}

    bool isOpen() const { return block_.isOpen(); }

    bool open(const BlockScene& scene) {
        const GameFacts& f = facts(game_);
        if (!block_.createOrOpen(f.block, f.size, ViewAccess::ReadWrite)) return false;
        if (game_ == BlockGame::AssettoCorsa &&
            !graphics_.createOrOpen(kAcGraphicsName, kAcGraphicsBytes, ViewAccess::ReadWrite)) {
            block_.close();
            return false;
        }
        if (game_ == BlockGame::IRacing) {
            writer_ = IRacingBlockWriter(scene.iRacingMissing);
            missing_ = scene.iRacingMissing;
            writer_.writeHeader(bytes(), scene.iRacingStatus);
            event_.create(kIRacingEventName);
        }
        return true;
    }

    void close() {
        if (game_ == BlockGame::IRacing && block_.isOpen()) writer_.setStatus(bytes(), 0);
        event_.close();
        graphics_.close();
        block_.close();
    }

    void write(const BlockScene& scene) {
        if (scene.restart != restart_) {
            restart_ = scene.restart;
            frame_ = 0;
        }
        const float wobble = scene.wobble * static_cast<float>(frame_ % 100);
        const float sideways = scene.velocityWobble * static_cast<float>(frame_ % 100);
        const auto count = static_cast<std::int32_t>(frame_);
        switch (game_) {
            case BlockGame::AssettoCorsa:
            case BlockGame::AssettoCorsaEvo: {
                AcPhysics physics = scene.ac;
                physics.packetId += count;
                physics.localAngularVel[1] += wobble;
                physics.localVelocity[0] += sideways;
                writeAcPhysics(bytes(), physics);
                if (graphics_.isOpen())
                    writeAcGraphics({graphics_.writableData(), graphics_.size()}, count, scene.acStatus);
                break;
            }
            case BlockGame::RaceRoom: {
                R3eBlock r3e = scene.r3e;
                r3e.simulationTicks += count;
                r3e.angularVelocity[1] += wobble;
                r3e.localAngularVelocity[1] += wobble;
                r3e.localVelocity[0] += sideways;
                writeR3e(bytes(), r3e);
                break;
            }
            case BlockGame::Pcars2: {
                Pcars2Block pcars2 = scene.pcars2;
                pcars2.angularVelocity[0] += wobble;
                pcars2.localVelocity[0] += sideways;
                writePcars2(bytes(), pcars2);
                break;
            }
            case BlockGame::IRacing: {
                if (scene.iRacingMissing != missing_) {
                    writer_ = IRacingBlockWriter(scene.iRacingMissing);
                    missing_ = scene.iRacingMissing;
                    writer_.writeHeader(bytes(), scene.iRacingStatus);
                }
                IRacingValues values = scene.iRacing;
                values[kYawRate] += wobble;
                writer_.setStatus(bytes(), scene.iRacingStatus);
                writer_.writeFrame(bytes(), scene.iRacingFirstTick + count, values);
                break;
            }
            case BlockGame::RFactor2: {
                RFactor2Block rf2 = scene.rf2;
                rf2.timeStamp += scene.rf2Step * static_cast<double>(frame_);
                rf2.localRotation[1] += wobble;
                rf2.localVelocity[0] += sideways;
                writeRFactor2(bytes(), rf2);
                break;
            }
            case BlockGame::Truck: {
                TruckBlock truck = scene.truck;
                truck.angularVelocity[1] += wobble;
                truck.linearVelocity[0] += sideways;
                writeTruck(bytes(), truck);
                break;
            }
        }
        ++frame_;
    }

    std::chrono::milliseconds period() const { return game_ == BlockGame::IRacing ? 16ms : 3ms; }

  private:
    BlockSpan bytes() { return {block_.writableData(), block_.size()}; }

    BlockGame game_;
    SharedMemory block_;
    SharedMemory graphics_;
    platform::NamedEvent event_;
    IRacingBlockWriter writer_;
    std::uint32_t missing_ = 0;
    std::uint32_t restart_ = 0;
    std::uint64_t frame_ = 0;
};

std::string uniqueControlName() {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return "tarvelmond_publisher_" + std::to_string(stamp) + "_" + std::to_string(counter.fetch_add(1));
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

}  // namespace

BlockScene motionScene(double pitch, double lateral) {
    BlockScene scene;
    scene.wobble = 0.001f;
    scene.ac.pitch = static_cast<float>(pitch);
    scene.ac.accG[0] = static_cast<float>(lateral / 9.81);  // the game's own g
    scene.r3e.versionMinor = 4;
    scene.r3e.orientation[0] = pitch;
    scene.r3e.localAcceleration[0] = -lateral;
    scene.pcars2.orientation[2] = static_cast<float>(pitch);
    scene.pcars2.localAcceleration[0] = static_cast<float>(lateral);
    scene.iRacing[kPitch] = static_cast<float>(-pitch);
    scene.iRacing[kLatAccel] = static_cast<float>(-lateral);
    scene.iRacing[kVertAccel] = 9.80665f;
    const double c = std::cos(pitch), s = std::sin(pitch);
    scene.rf2.orientation = {1, 0, 0, 0, c, -s, 0, s, c};
    scene.rf2.localAcceleration[0] = -lateral;
    scene.truck.pitch = static_cast<float>(pitch / (2.0 * std::numbers::pi));  // revolutions
    scene.truck.linearAcceleration[0] = static_cast<float>(lateral);
    return scene;
}

std::optional<BlockGame> blockGameByName(std::string_view name) {
    for (const GameFacts& f : kGames) {
        if (name == f.name) return f.game;
    }
    return std::nullopt;
}

int runBlockPublisher(BlockGame game, const std::string& controlName) {
    SharedMemory controlBlock;
    if (!controlBlock.openExisting(controlName, sizeof(PublisherControl), ViewAccess::ReadWrite)) return 1;
    auto& control = *reinterpret_cast<PublisherControl*>(controlBlock.writableData());
    std::atomic_ref<std::uint64_t> frames(control.frames);
    std::atomic_ref<std::uint32_t> blockOpen(control.blockOpen);
    Publication publication(game);
    for (;;) {
        const BlockScene scene = readScene(control);
        if (scene.command == PublisherCommand::Quit) break;
        if (scene.command == PublisherCommand::Close) {
            publication.close();
            blockOpen.store(0);
        } else if (publication.isOpen() || publication.open(scene)) {
            if (scene.command == PublisherCommand::Publish) publication.write(scene);
            blockOpen.store(1);
            if (scene.command == PublisherCommand::Publish) frames.fetch_add(1);
        }
        std::this_thread::sleep_for(publication.period());
    }
    publication.close();
    blockOpen.store(0);
    std::atomic_ref<std::uint32_t>(control.finished).store(1);
    return 0;
}

GameBlockPublisher::GameBlockPublisher(BlockGame game, const BlockScene& scene)
    : controlName_(uniqueControlName()), scene_(scene) {
    if (!control_.createOrOpen(controlName_, sizeof(PublisherControl), ViewAccess::ReadWrite)) return;
    std::memset(control_.writableData(), 0, sizeof(PublisherControl));
    setScene(scene);
    process_ = std::make_unique<FakeGameProcess>(facts(game).process, "game_block_publisher",
                                                 std::vector<std::string>{facts(game).name, controlName_});
    if (!process_->started()) return;
    started_ = waitUntil(
        [&] { return blockOpen() && (scene.command != PublisherCommand::Publish || frames() > 0); }, 20s);
}

GameBlockPublisher::~GameBlockPublisher() {
    quit();
}

PublisherControl* GameBlockPublisher::control() const {
    if (!control_.isOpen()) return nullptr;
    return reinterpret_cast<PublisherControl*>(const_cast<unsigned char*>(control_.data()));
}

void GameBlockPublisher::setScene(const BlockScene& scene) {
    scene_ = scene;
    PublisherControl* c = control();
    if (c == nullptr) return;
    std::atomic_ref<std::uint32_t> sequence(c->sequence);
    const std::uint32_t value = sequence.load(std::memory_order_relaxed);
    sequence.store(value + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    std::memcpy(&c->scene, &scene, sizeof scene);
    sequence.store(value + 2, std::memory_order_release);
}

void GameBlockPublisher::command(PublisherCommand command) {
    BlockScene scene = scene_;
    scene.command = command;
    setScene(scene);
}

std::uint64_t GameBlockPublisher::frames() const {
    PublisherControl* c = control();
    return c == nullptr ? 0 : std::atomic_ref<std::uint64_t>(c->frames).load();
}

bool GameBlockPublisher::blockOpen() const {
    PublisherControl* c = control();
    return c != nullptr && std::atomic_ref<std::uint32_t>(c->blockOpen).load() != 0;
}

bool GameBlockPublisher::waitFrames(std::uint64_t count, std::chrono::milliseconds limit) const {
    const std::uint64_t target = frames() + count;
    return waitUntil([&] { return frames() >= target; }, limit);
}

bool GameBlockPublisher::waitBlockOpen(bool open, std::chrono::milliseconds limit) const {
    return waitUntil([&] { return blockOpen() == open; }, limit);
}

void GameBlockPublisher::kill() {
    process_.reset();
    started_ = false;
}

void GameBlockPublisher::quit() {
    if (!process_) return;
    command(PublisherCommand::Quit);
    PublisherControl* c = control();
    if (c != nullptr) {
        waitUntil([&] { return std::atomic_ref<std::uint32_t>(c->finished).load() != 0; }, 10s);
    }
    process_.reset();
    started_ = false;
}

}  // namespace tarvelmond::emulator
