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
        Message m;
        while (queue->front(m)) {
            out.emplace_back(m.bytes.begin(), m.bytes.begin() + m.size);
            queue->popFront();
        }
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

TEST(Crc16Arc, MatchesTheCatalogueCheckValueAndTheControllerFrames) {
    const std::string digits = "123456789";
    EXPECT_EQ(crc16Arc(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()), 0xBB3D);
    EXPECT_EQ(crc16Arc(nullptr, 0), 0);
    const Bytes identity1 = {0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00};
    const Bytes identity2 = {0xF9, 0xF9, 0x01, 0x00, 0x02, 0x00};
    EXPECT_EQ(crc16Arc(identity1.data(), identity1.size()), 0x1188);  // stored as 88 11
    EXPECT_EQ(crc16Arc(identity2.data(), identity2.size()), 0xE188);
}

TEST(FrameCutter, LeavesShortBuffersAndIncompleteFramesAlone) {
    Cutter c;
    EXPECT_EQ(c.feed({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x0A}), 0);
    EXPECT_EQ(c.left().size(), 7u);

    Cutter partial;
    const Bytes frame = controllerFrame(0xF8, payload(34, 3), true);
    EXPECT_EQ(partial.feed(Bytes(frame.begin(), frame.begin() + 20)), 0);
    EXPECT_EQ(partial.left().size(), 20u) << "a 0xF8 frame waits for its remaining bytes";
    EXPECT_EQ(partial.feed(Bytes(frame.begin() + 20, frame.end())), 1);
    ASSERT_EQ(partial.frames().size(), 1u);
    EXPECT_TRUE(partial.left().empty());
}

TEST(FrameCutter, AcceptsEveryKindInBothEndFormsAndEndsThemWithTheTerminator) {
    for (std::uint8_t kind : {0xF8, 0xF9, 0xFA}) {
        const std::size_t size = kind == 0xF9 ? 8 : kind == 0xF8 ? 38 : 465;
        for (bool crc : {false, true}) {
            Cutter c;
            const Bytes frame = controllerFrame(kind, payload(size - 4, kind), crc);
            EXPECT_EQ(c.feed(frame), 1);
            const auto frames = c.frames();
            ASSERT_EQ(frames.size(), 1u) << int(kind) << crc;
            EXPECT_EQ(frames[0], withTerminator(frame));
            EXPECT_TRUE(c.left().empty());
        }
    }
    Cutter crcOnly;
    const Bytes fb = controllerFrame(0xFB, payload(74, 9), true);
    EXPECT_EQ(crcOnly.feed(fb), 1);
    EXPECT_EQ(crcOnly.frames(), std::vector<Bytes>{withTerminator(fb)});
}

TEST(FrameCutter, RejectedStartsAreDroppedOneByteAtATime) {
    Cutter badCrc;
    EXPECT_EQ(badCrc.feed({0xF9, 0xF9, 0x01, 0x00, 0x01, 0x00, 0x88, 0x12}), 0);
    EXPECT_EQ(badCrc.left().size(), 7u) << "one byte per pass until fewer than 8 remain";
    EXPECT_TRUE(badCrc.frames().empty());

    Cutter garbage;
    const Bytes frame = controllerFrame(0xF8, payload(34, 1), false);
    Bytes stream = {0x13, 0xF8, 0x77};
    stream.insert(stream.end(), frame.begin(), frame.end());
    EXPECT_EQ(garbage.feed(stream), 1);
    EXPECT_EQ(garbage.frames(), std::vector<Bytes>{frame});

    Cutter fbTerminated;
    Bytes fb = withTerminator(controllerFrame(0xFB, payload(74, 5), true));
    if (crc16Arc(fb.data(), 76) == 0x0D0A) fb[3] ^= 1;  // keep the CRC really different
    EXPECT_EQ(fbTerminated.feed(fb), 0) << "0xFB frames have no terminator form";
    EXPECT_TRUE(fbTerminated.frames().empty());

    // A frame hidden inside a rejected one is found by scanning on one byte after the rejected start.
    Cutter nested;
    const Bytes inner = controllerFrame(0xF9, {0x02, 0x00, 0x05, 0x01}, true);
    Bytes outer = {0xF8, 0xF8};
    outer.insert(outer.end(), inner.begin(), inner.end());
    outer.resize(38, 0x55);
    EXPECT_EQ(nested.feed(outer), 1);
    EXPECT_EQ(nested.frames(), std::vector<Bytes>{withTerminator(inner)});
}

TEST(FrameCutter, AFullQueueDropsTheFrameButStillReportsIt) {
    Cutter c;
    const Bytes frame = controllerFrame(0xF9, {0x03, 0x00, 0x00, 0x00}, false);
    for (int i = 0; i < 151; ++i)
        ASSERT_EQ(c.feed(frame), 1);
    EXPECT_EQ(c.queue->size(), 151u);
    EXPECT_EQ(c.feed(frame), 1);
    EXPECT_EQ(c.queue->size(), 151u);
    EXPECT_TRUE(c.left().empty()) << "the dropped frame left the buffer";
}

TEST(FrameCutter, SeveralFramesInOneBufferKeepTheirOrder) {
    Cutter c;
    const Bytes a = controllerFrame(0xF8, payload(34, 1), true);
    const Bytes b = controllerFrame(0xF9, {0x05, 0x00, 0x01, 0x02}, false);
    const Bytes d = controllerFrame(0xFA, payload(461, 2), false);
    Bytes stream = a;
    stream.insert(stream.end(), b.begin(), b.end());
    stream.insert(stream.end(), d.begin(), d.end());
    stream.insert(stream.end(), {0xF8, 0xF8, 0x01});
    EXPECT_EQ(c.feed(stream), 1);
    EXPECT_EQ(c.frames(), (std::vector<Bytes>{withTerminator(a), b, d}));
    EXPECT_EQ(c.left(), (Bytes{0xF8, 0xF8, 0x01}));
}

// The flag is process-wide and never cleared, so one test walks the whole rule in order.
TEST(FirmwareRule, Version328OrLaterMakesTheControllerCrcCapableForGood) {
    ASSERT_FALSE(firmwareCrcCapable().load());
    Cutter c;
    c.feed({0xF9, 0xF9, 0x01, 0x00, 0x1C, 0x03, 0x0A, 0x0D});  // command 1 never counts
    EXPECT_FALSE(firmwareCrcCapable().load());
    c.feed({0xF9, 0xF9, 0x02, 0x00, 0x1B, 0x03, 0x0A, 0x0D});  // 3.27
    EXPECT_FALSE(firmwareCrcCapable().load());
    c.feed({0xF9, 0xF9, 0x02, 0x00, 0x64, 0xFE, 0x0A, 0x0D});  // signed bytes: -2 x 100 + 100
    EXPECT_FALSE(firmwareCrcCapable().load());
    c.feed(controllerFrame(0xF9, {0x02, 0x00, 0x1C, 0x03}, true));  // 3.28, CRC form
    EXPECT_TRUE(firmwareCrcCapable().load());
    c.feed({0xF9, 0xF9, 0x02, 0x00, 0x00, 0x01, 0x0A, 0x0D});
    EXPECT_TRUE(firmwareCrcCapable().load()) << "never cleared";
}

}  // namespace
}  // namespace tarvelmond::test
