#include "network_rig_session.h"

#include "net/dotted_quad.h"

namespace tarvelmond::rig {
namespace {

constexpr std::size_t kFrameBytes = 36;

bool endsWithTerminator(const test::Bytes& bytes) {
    return bytes.size() >= 2 && bytes[bytes.size() - 2] == 0x0A && bytes.back() == 0x0D;
}

// A datagram as the controller reads it: each carries one message whole.
test::ReceivedMessage message(const test::ReceivedDatagram& datagram) {
    test::ReceivedMessage m;
    m.bytes = datagram.bytes;
    m.crcForm = datagram.crcValid;
    m.arrival = datagram.arrival;
    const auto& b = datagram.bytes;
    if (b.size() == kFrameBytes && b[0] == 0xFC && b[1] == 0xFC) {
        m.kind = test::ReceivedMessage::Kind::Output;
    } else if (b.size() >= 2 && b[0] == 0xF9 && b[1] == 0xF9) {
        m.kind = test::ReceivedMessage::Kind::Command;
    }
    return m;
}

}  // namespace

NetworkRigSession::NetworkRigSession(ProductHost& host, std::uint32_t adapter)
    : host_(host), adapter_(adapter) {
    joined_ = controller_.joinGroup(kGroup, kGroupPort, adapter_);
}

NetworkRigSession::~NetworkRigSession() {
    stop();
}

std::string NetworkRigSession::describe() const {
    return "network controller on " + controller_.endpoint().text() + ", reporting to the listen port " +
           std::to_string(kListenPort) + ", joined to " + dottedQuadText(kGroup) + ":" +
           std::to_string(kGroupPort) + " on the adapter " + dottedQuadText(adapter_);
}

bool NetworkRigSession::connect(std::chrono::seconds limit) {
    if (!listener_.joinable()) {
        listener_ = std::thread([this] { host_.startListener(); });
        sender_ = std::thread([this] {
            host_.startSender();
            senderEnded_.store(true);
        });
        reporter_ = std::thread([this] { reportStatus(); });
    }
    // The controller's status frames reach the host through the live link once the listen loop has
    // given it the link.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (host_.messageWaiting() != 1) {
        if (senderEnded_.load() || std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !senderEnded_.load();
}

// A controller reports its status now and then; eight seconds of silence would free the link.
void NetworkRigSession::reportStatus() {
    const platform::Ipv4Endpoint listenPort{platform::kLoopback, kListenPort};
    std::uint32_t count = 0;
    while (!stopReporting_.load()) {
        controller_.send(test::statusFrame(count++, true), listenPort);
        for (int i = 0; i < 25 && !stopReporting_.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<test::ReceivedMessage> NetworkRigSession::receivedFrom(std::size_t first) const {
    std::vector<test::ReceivedMessage> messages;
    for (const test::ReceivedDatagram& datagram : controller_.receivedFrom(first)) {
        if (!datagram.crcValid && !endsWithTerminator(datagram.bytes)) crcFailures_.fetch_add(1);
        messages.push_back(message(datagram));
    }
    return messages;
}

void NetworkRigSession::stop() {
    if (stopped_) return;
    stopped_ = true;
    host_.ready(0);
    host_.stopGameSource();
    stopReporting_.store(true);
    if (reporter_.joinable()) reporter_.join();
    host_.stopBridge();  // ends both network loops
    if (listener_.joinable()) listener_.join();
    if (sender_.joinable()) sender_.join();
}

}  // namespace tarvelmond::rig
