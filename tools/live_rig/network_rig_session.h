#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "controller_link.h"
#include "peers/udp_controller.h"
#include "product_host.h"

namespace tarvelmond::rig {

// A motion controller on the network: it reports its status to the library's listen port on the
// loopback, which gives it the link, and receives the library's frames from the multicast group on
// the wired adapter with address `adapter`. The library's listen loop and multicast sender each run on
// a thread the host lends them. The sender sends only through a wired Ethernet adapter, so the rig runs
// where one is up (scripts/run.sh --link udp makes a private network with one).
class NetworkRigSession : public ControllerLink {
  public:
    NetworkRigSession(ProductHost& host, std::uint32_t adapter);
    ~NetworkRigSession() override;
    NetworkRigSession(const NetworkRigSession&) = delete;
    NetworkRigSession& operator=(const NetworkRigSession&) = delete;

    bool controllerReady() const override { return joined_; }
    std::string describe() const override;
    bool connect(std::chrono::seconds limit) override;
    std::string connectedBy() const override {
        return "the listen loop (the controller's first status frame)";
    }
    std::vector<test::ReceivedMessage> receivedFrom(std::size_t first) const override;
    int crcFailures() const override { return crcFailures_.load(); }
    void stop() override;

    static constexpr std::uint16_t kListenPort = 53241;   // the library's own choice without setUDPport
    static constexpr std::uint32_t kGroup = 0xE80B0C0Eu;  // 232.11.12.14
    static constexpr std::uint16_t kGroupPort = 51324;

  private:
    void reportStatus();

    ProductHost& host_;
    std::uint32_t adapter_;
    test::UdpController controller_;
    bool joined_ = false;
    std::thread listener_;
    std::thread sender_;
    std::atomic<bool> senderEnded_{false};
    std::thread reporter_;
    std::atomic<bool> stopReporting_{false};
    mutable std::atomic<int> crcFailures_{0};
    bool stopped_ = false;
};

}  // namespace tarvelmond::rig
