#pragma once
#include <atomic>
#include <chrono>
#include <memory>

#include "block_publisher.h"
#include "fake_game_process.h"
#include "scene_packets.h"
#include "udp_game_sender.h"

namespace tarvelmond::rig_safety {

// Plays the scenario's game with the game emulator and does to it what games do: come late, stall,
// crash, come back, close their shared-memory block, send bad datagrams.
class GamePlayer {
  public:
    GamePlayer(Game game, const SceneValues& scene, int periodUs);
    ~GamePlayer();
    GamePlayer(const GamePlayer&) = delete;
    GamePlayer& operator=(const GamePlayer&) = delete;

    // The game starts: its process (if it has one) and its data. False if it could not.
    bool appear();
    void stall();       // the data stops; the game runs on
    void crash();       // the process is killed; the data stops with it
    void closeBlock();  // a shared-memory game closes its block
    // Whatever made the data stop is undone: it flows again.
    bool restore();
    // For `length`, every other datagram is a bad one.
    void sendGarbage(Garbage garbage, std::chrono::milliseconds length);

  private:
    void startSending();

    Game game_;
    SceneValues scene_;
    std::chrono::microseconds period_;
    std::unique_ptr<emulator::FakeGameProcess> process_;
    std::unique_ptr<emulator::GameBlockPublisher> publisher_;
    std::unique_ptr<emulator::UdpGameSender> sender_;
    std::atomic<Garbage> garbage_{Garbage::None};
    std::atomic<std::chrono::steady_clock::rep> garbageUntil_{0};
};

}  // namespace tarvelmond::rig_safety
