#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "controller_link.h"
#include "peers/virtual_controller.h"
#include "platform/process_info.h"
#include "product_host.h"

namespace tarvelmond::rig {

// The host's side of a running rig: a virtual motion controller on a pseudo-terminal (COMn), made
// findable by the library's automatic scan through a declared USB identity, and the library's serial
// bridge on a thread the host lends it.
class RigSession : public ControllerLink {
  public:
    RigSession(ProductHost& host, int comNumber);
    ~RigSession() override;
    RigSession(const RigSession&) = delete;
    RigSession& operator=(const RigSession&) = delete;

    bool controllerReady() const override { return controller_->ready(); }
    std::string describe() const override;
    std::string connectedBy() const override { return "the automatic scan"; }
    std::vector<test::ReceivedMessage> receivedFrom(std::size_t first) const override {
        return controller_->receivedFrom(first);
    }
    int crcFailures() const override { return controller_->crcFailures(); }
    test::VirtualController& controller() { return *controller_; }
    // What TARVELMOND_PORT_IDENTITY says for this run, and whether this program set it.
    const std::string& declaration() const { return declaration_; }
    bool declaredHere() const { return declaredHere_; }

    // Starts the bridge with auto-connect on and waits until the scan has connected a controller.
    bool connect(std::chrono::seconds limit) override;
    // Stops the game-source thread and the bridge (also done when the session ends).
    void stop() override;
    // CPU time the bridge's thread has used so far in microseconds; -1 before it started.
    std::int64_t bridgeCpuMicroseconds() const;

  private:
    ProductHost& host_;
    std::unique_ptr<test::VirtualController> controller_;
    std::string declaration_;
    bool declaredHere_ = false;
    std::optional<platform::ThreadCpuClock> bridgeCpu_;  // made on the bridge's thread
    std::atomic<bool> bridgeCpuReady_{false};
    std::thread bridge_;
    bool stopped_ = false;
};

}  // namespace tarvelmond::rig
