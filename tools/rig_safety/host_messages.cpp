#include "host_messages.h"

#include <array>
#include <chrono>

#include "seeded_random.h"

namespace tarvelmond::rig_safety {

HostMessageStreams::HostMessageStreams(Product& product, test::SafetyMonitor& monitor,
                                       test::HostStreams streams, int meanGapMs, std::uint64_t seed)
    : product_(product), monitor_(monitor), streams_(streams), meanGapMs_(meanGapMs) {
    for (std::uint8_t s = 0; s < streams_.count; ++s)
        threads_.emplace_back([this, s, seed] { talk(s, seed + s); });
}

HostMessageStreams::~HostMessageStreams() {
    stop();
}

void HostMessageStreams::stop() {
    stop_.store(true);
    for (std::thread& thread : threads_)
        if (thread.joinable()) thread.join();
}

void HostMessageStreams::talk(std::uint8_t stream, std::uint64_t seed) {
    SeededRandom random(seed);
    for (std::uint16_t sequence = 0; !stop_.load(); ++sequence) {
        // A sequence whose bytes read 0x0A 0x0D would end the message early: the host skips it.
        if (sequence == 0x0D0A) continue;
        const std::array<unsigned char, 8> message = {
            0xF9,
            0xF9,
            static_cast<unsigned char>(streams_.firstCommand + stream),
            0x00,
            static_cast<unsigned char>(sequence & 0xFF),
            static_cast<unsigned char>(sequence >> 8),
            0x0A,
            0x0D};
        const auto at = std::chrono::steady_clock::now();
        const int result = product_.send(message.data());
        monitor_.hostMessageSent(stream, sequence, result == 1, at);
        std::this_thread::sleep_for(std::chrono::microseconds(random.between(0, 2000 * meanGapMs_)));
    }
}

}  // namespace tarvelmond::rig_safety
