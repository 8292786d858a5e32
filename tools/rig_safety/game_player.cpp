#include "game_player.h"

namespace tarvelmond::rig_safety {

using Clock = std::chrono::steady_clock;

GamePlayer::GamePlayer(Game game, const SceneValues& scene, int periodUs)
    : game_(game), scene_(scene), period_(periodUs) {}

GamePlayer::~GamePlayer() {
    if (sender_) sender_->stop();
    publisher_.reset();
    process_.reset();
}

bool GamePlayer::appear() {
    if (isBlockGame(game_)) {
        publisher_ = std::make_unique<emulator::GameBlockPublisher>(blockGameOf(game_), blockScene(scene_));
        return publisher_->started();
    }
    if (const char* name = gameProcess(game_); name != nullptr && !process_) {
        process_ = std::make_unique<emulator::FakeGameProcess>(name);
        if (!process_->started()) return false;
    }
    startSending();
    return true;
}

void GamePlayer::startSending() {
    if (!sender_) sender_ = std::make_unique<emulator::UdpGameSender>(udpPort(game_));
    sender_->startGenerated(
        [this](std::uint64_t n) {
            Garbage garbage = Garbage::None;
            if ((n & 1U) != 0 && Clock::now().time_since_epoch().count() < garbageUntil_.load()) {
                garbage = garbage_.load();
            }
            return scenePacket(game_, scene_, n, garbage);
        },
        period_);
}

void GamePlayer::stall() {
    if (publisher_) {
        publisher_->command(emulator::PublisherCommand::Freeze);
    } else if (sender_) {
        sender_->stop();
    }
}

void GamePlayer::crash() {
    if (publisher_) {
        publisher_->kill();
        publisher_.reset();
        return;
    }
    process_.reset();
    if (sender_) sender_->stop();
}

void GamePlayer::closeBlock() {
    if (publisher_) publisher_->command(emulator::PublisherCommand::Close);
}

bool GamePlayer::restore() {
    if (isBlockGame(game_)) {
        if (!publisher_) return appear();
        publisher_->command(emulator::PublisherCommand::Publish);
        return publisher_->waitBlockOpen(true);
    }
    return appear();
}

void GamePlayer::sendGarbage(Garbage garbage, std::chrono::milliseconds length) {
    garbage_.store(garbage);
    garbageUntil_.store((Clock::now() + length).time_since_epoch().count());
}

}  // namespace tarvelmond::rig_safety
