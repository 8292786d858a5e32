#pragma once
#include <memory>
#include <string>

#include "peers/safety_monitor.h"
#include "peers/virtual_controller.h"

namespace tarvelmond::rig_safety {

// The devices at the far end of the library's ports: the motion controller, watched by the safety
// monitor and found by the library's own scan (its USB identity declared, as a pseudo-terminal has
// none), and the wind device. Both can be pulled out and plugged in again, or stop reading.
class RigDevices {
  public:
    RigDevices(test::SafetyMonitor& monitor, bool controllerAtWireRate, int controllerStatusMs, bool wind);
    ~RigDevices();
    RigDevices(const RigDevices&) = delete;
    RigDevices& operator=(const RigDevices&) = delete;

    bool ready() const;
    int windComNumber() const;

    void unplugController();
    void plugController();
    void stallController(bool stalled);
    void stallWind(bool stalled);
    void unplugWind();
    void plugWind();

  private:
    test::SafetyMonitor& monitor_;
    bool wireRate_;
    std::unique_ptr<test::VirtualController> controller_;
    std::unique_ptr<test::WindPeer> wind_;
    bool windWanted_;
};

}  // namespace tarvelmond::rig_safety
