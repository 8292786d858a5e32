// Frames from the controller: the CRC, the cutter over a receive buffer, the firmware rule.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "peers/virtual_controller.h"
#include "serial/controller_frame.h"
#include "serial/crc16.h"

namespace tarvelmond::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Cutter {
    std::unique_ptr<MessageQueue> queue = std::make_unique<MessageQueue>(151);
    ReceiveBuffer buffer;

    int feed(const Bytes& bytes) {
        EXPECT_TRUE(buffer.append(bytes.data(), bytes.size()));
        return extractControllerFrames(buffer, *queue);
    }
    Bytes left() const { return Bytes(buffer.data(), buffer.data() + buffer.size()); }
    std::vector<Bytes> frames() {
        std::vector<Bytes> out;
        for (Message m; queue->front(m); queue->popFront())
            out.emplace_back(m.bytes.begin(), m.bytes.begin() + m.size);
        return out;
    }
};

Bytes withTerminator(Bytes frame) {
    frame[frame.size() - 2] = 0x0A;
    frame[frame.size() - 1] = 0x0D;
    return frame;
}

Bytes payload(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

TEST(Crc16Arc, MatchesTheCatalogueCheckValue) {
    const std::string digits = "123456789";
    EXPECT_EQ(crc16Arc(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()), 0xBB3D);
}

// Every kind in both end forms (0xFB only with its CRC), after line noise, in one buffer; each leaves
// the cutter ending in the terminator, in order, and an incomplete frame waits for its remaining bytes.
TEST(FrameCutter, CutsEveryKindInOrderAndKeepsAnIncompleteFrame) {
    std::vector<Bytes> sent;
    for (const auto& [kind, size] : {std::pair<std::uint8_t, std::size_t>{0xF8, 34}, {0xF9, 4}, {0xFA, 461}})
        for (bool crc : {false, true})
            sent.push_back(controllerFrame(kind, payload(size, kind), crc));
    sent.push_back(controllerFrame(0xFB, payload(74, 9), true));
    const Bytes partial = controllerFrame(0xF8, payload(34, 3), true);

    Cutter c;
    Bytes stream = {0x13, 0xF8, 0x77};
    for (const Bytes& frame : sent)
        stream.insert(stream.end(), frame.begin(), frame.end());
    stream.insert(stream.end(), partial.begin(), partial.begin() + 20);
    EXPECT_EQ(c.feed(stream), 1);
    std::vector<Bytes> expected;
    for (const Bytes& frame : sent)
        expected.push_back(withTerminator(frame));
    EXPECT_EQ(c.frames(), expected);
    EXPECT_EQ(c.left(), Bytes(partial.begin(), partial.begin() + 20));
    c.feed(Bytes(partial.begin() + 20, partial.end()));
    EXPECT_EQ(c.frames(), std::vector<Bytes>{withTerminator(partial)});
    EXPECT_TRUE(c.left().empty());
}

TEST(FrameCutter, RejectedStartsAreDroppedOneByteAtATime) {
    Cutter badCrc;
    EXPECT_EQ(badCrc.feed({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x12}), 0);
    EXPECT_EQ(badCrc.left().size(), 7u) << "one byte per pass until fewer than 8 remain";

    // A frame hidden inside a rejected one is found by scanning on one byte after the rejected start.
    Cutter nested;
    const Bytes inner = controllerFrame(0xF9, {0x02, 0x00, 0x05, 0x01}, true);
    Bytes outer = {0xF8, 0xF8};
    outer.insert(outer.end(), inner.begin(), inner.end());
    outer.resize(38, 0x55);
    EXPECT_EQ(nested.feed(outer), 1);
    EXPECT_EQ(nested.frames(), std::vector<Bytes>{withTerminator(inner)});
}

// The flag is process-wide and never cleared, so one test walks the whole rule in order.
TEST(FirmwareRule, Version328OrLaterMakesTheControllerCrcCapableForGood) {
    ASSERT_FALSE(firmwareCrcCapable().load());
    Cutter c;
    c.feed({0xF9, 0xF9, 0x01, 0x00, 0x1C, 0x03, 0x0A, 0x0D});  // command 1 never counts
    c.feed({0xF9, 0xF9, 0x02, 0x00, 0x1B, 0x03, 0x0A, 0x0D});  // 3.27
    c.feed({0xF9, 0xF9, 0x02, 0x00, 0x64, 0xFE, 0x0A, 0x0D});  // signed bytes: -2 x 100 + 100
    EXPECT_FALSE(firmwareCrcCapable().load());
    c.feed(controllerFrame(0xF9, {0x02, 0x00, 0x1C, 0x03}, true));  // 3.28, CRC form
    EXPECT_TRUE(firmwareCrcCapable().load());
    c.feed({0xF9, 0xF9, 0x02, 0x00, 0x00, 0x01, 0x0A, 0x0D});
    EXPECT_TRUE(firmwareCrcCapable().load()) << "never cleared";
}

}  // namespace
}  // namespace tarvelmond::test
