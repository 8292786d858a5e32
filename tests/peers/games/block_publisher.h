#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fake_game_process.h"
#include "game_blocks.h"
#include "platform/shared_memory.h"

// A game that publishes its telemetry in shared memory, played by a separate process (the program
// game_block_publisher, started under the game's executable name): it creates the game's block under
// its real name and size and writes frames the way the game does, with counters that advance. The
// test steers it through a small control block of its own.
namespace tarvelmond::emulator {

enum class BlockGame : std::uint32_t {
    AssettoCorsa,
    AssettoCorsaEvo,
    RaceRoom,
    Pcars2,
    IRacing,
    RFactor2,
    Truck
};

// By the name on the publisher's command line (game_block_publisher_main.cpp).
std::optional<BlockGame> blockGameByName(std::string_view name);

enum class PublisherCommand : std::uint32_t {
    Publish,  // write a frame every few milliseconds (iRacing: 60 a second)
    Freeze,   // keep the block but write nothing more, as a game that hangs
    Close,    // close the block (iRacing first clears its status), as a game that ends its session
    Quit,     // close the block and end
};

// What the game reports, in each game's own terms (game_blocks.h). The counters start from the values
// given (AC packet id, iRacing tick, rF2 time stamp) and advance with every frame; a change of
// `restart` starts them afresh from there.
struct BlockScene {
    PublisherCommand command = PublisherCommand::Publish;
    std::uint32_t restart = 0;
    // Added per frame, times (frame % 100), to the game's yaw rate so that frames differ as in motion.
    float wobble = 0.0f;
    // The same, added to the lateral velocity instead: frames differ while every angle, rate and
    // acceleration stands still (iRacing has no velocity among its values and ignores it).
    float velocityWobble = 0.0f;
    AcPhysics ac{};
    std::int32_t acStatus = kAcLive;
    R3eBlock r3e{};
    Pcars2Block pcars2{};
    IRacingValues iRacing{};
    std::int32_t iRacingStatus = 1;
    std::uint32_t iRacingMissing = 0;
    std::int32_t iRacingFirstTick = 1;
    RFactor2Block rf2{};
    double rf2Step = 0.005;  // seconds of game time per frame
    TruckBlock truck{};
};

// The same motion for every game, each in its own terms: a nose-up pitch (radians) and a lateral
// acceleration (m/s^2) that the record holds with the same sign (as lateral_accel_g for iRacing), with
// a little yaw-rate motion so that the frames differ.
BlockScene motionScene(double pitch, double lateral);

// The control block shared by the test and the publisher.
struct PublisherControl {
    std::uint32_t sequence;  // odd while the test rewrites the scene
    BlockScene scene;
    std::uint64_t frames;     // frames the publisher has written
    std::uint32_t blockOpen;  // 1 while the game's block is published
    std::uint32_t finished;   // 1 once the publisher has closed everything and is about to end
};

// The publisher's side: runs until told to quit (game_block_publisher_main.cpp).
int runBlockPublisher(BlockGame game, const std::string& controlName);

// The test's side: starts the publisher as a process under the game's executable name and steers it.
// Ending the object asks the publisher to quit, then ends its process.
class GameBlockPublisher {
  public:
    explicit GameBlockPublisher(BlockGame game, const BlockScene& scene = {});
    ~GameBlockPublisher();
    GameBlockPublisher(const GameBlockPublisher&) = delete;
    GameBlockPublisher& operator=(const GameBlockPublisher&) = delete;

    // True once the process runs and its block is published with a first frame (waits up to 20 s).
    bool started() const { return started_; }

    void setScene(const BlockScene& scene);
    void command(PublisherCommand command);

    // Waits until `count` more frames have been written (false after `limit`).
    bool waitFrames(std::uint64_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    bool waitBlockOpen(bool open, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

    // Quits as a game that closes: the block goes, then the process ends.
    void quit();
    // Ends the process at once, as a game that crashes: nothing is closed in an orderly way (on Linux
    // the block's name stays behind, as a crashed publisher leaves it).
    void kill();

  private:
    PublisherControl* control() const;
    std::uint64_t frames() const;
    bool blockOpen() const;

    std::string controlName_;
    platform::SharedMemory control_;
    BlockScene scene_;
    std::unique_ptr<FakeGameProcess> process_;
    bool started_ = false;
};

}  // namespace tarvelmond::emulator
