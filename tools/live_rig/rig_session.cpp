#include "rig_session.h"

#include <cstdlib>

namespace tarvelmond::rig {

RigSession::RigSession(ProductHost& host, int comNumber)
    : host_(host), controller_(std::make_unique<test::VirtualController>(comNumber)) {
    // A user's own declaration wins; without one the virtual controller is declared a CH340.
    if (const char* existing = std::getenv("TARVELMOND_PORT_IDENTITY"); existing != nullptr && *existing) {
        declaration_ = existing;
    } else {
        test::declarePortIdentity(comNumber);
        declaration_ = "COM" + std::to_string(comNumber) + "=USB\\VID_1A86&PID_7523";
        declaredHere_ = true;
    }
}

std::string RigSession::describe() const {
    return "virtual controller on " + controller_->comName() + "; TARVELMOND_PORT_IDENTITY=" + declaration_ +
           (declaredHere_ ? " (set by live_rig)" : " (from the environment)");
}

RigSession::~RigSession() {
    stop();
}

bool RigSession::connect(std::chrono::seconds limit) {
    if (!bridge_.joinable()) {
        bridge_ = std::thread([this] {
            bridgeCpu_.emplace();
            bridgeCpuReady_.store(true);
            host_.startBridge();
        });
    }
    host_.autoconnect();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (host_.connected() != 1) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::int64_t RigSession::bridgeCpuMicroseconds() const {
    return bridgeCpuReady_.load() ? bridgeCpu_->microseconds() : -1;
}

void RigSession::stop() {
    if (stopped_) return;
    stopped_ = true;
    host_.ready(0);
    host_.stopGameSource();
    host_.stopBridge();
    if (bridge_.joinable()) bridge_.join();
}

}  // namespace tarvelmond::rig
