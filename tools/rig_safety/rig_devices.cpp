#include "rig_devices.h"

namespace tarvelmond::rig_safety {
namespace {

// Slots of their own (far_end.h): no other test program uses these COM numbers at the same time.
constexpr int kControllerSlot = 0;
constexpr int kWindSlot = 4;
constexpr std::uint32_t kWireRate = 25000;  // bytes/s of a 250000-baud UART

}  // namespace

RigDevices::RigDevices(test::SafetyMonitor& monitor, bool controllerAtWireRate, int controllerStatusMs,
                       bool wind)
    : monitor_(monitor), wireRate_(controllerAtWireRate), windWanted_(wind) {
    controller_ = std::make_unique<test::VirtualController>(test::uniqueComNumber(kControllerSlot));
    controller_->watch(&monitor_);
    controller_->readInRealTime();
    controller_->setReadRate(wireRate_ ? kWireRate : 0);
    controller_->reportStatusEvery(std::chrono::milliseconds(controllerStatusMs));
    test::declarePortIdentity(controller_->comNumber());
    if (windWanted_) wind_ = std::make_unique<test::WindPeer>(windComNumber());
}

RigDevices::~RigDevices() {
    controller_->watch(nullptr);
}

bool RigDevices::ready() const {
    return controller_->ready() && (!windWanted_ || (wind_ && wind_->ready()));
}

int RigDevices::windComNumber() const {
    return test::uniqueComNumber(kWindSlot);
}

void RigDevices::unplugController() {
    controller_->unplug();
}

void RigDevices::plugController() {
    controller_->plugIn();
}

void RigDevices::stallController(bool stalled) {
    controller_->pauseReading(stalled);
}

void RigDevices::stallWind(bool stalled) {
    if (!wind_) return;
    if (stalled) {
        wind_->stall();
    } else {
        wind_->resume();
    }
}

void RigDevices::unplugWind() {
    wind_.reset();
}

void RigDevices::plugWind() {
    if (windWanted_ && !wind_) wind_ = std::make_unique<test::WindPeer>(windComNumber());
}

}  // namespace tarvelmond::rig_safety
