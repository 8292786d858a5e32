#include "motion/output_stage.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

#include "engine/motion_engine.h"
#include "serial/link_state.h"

namespace tarvelmond {
namespace {

constexpr int kAxes = 6;
constexpr int kBeltCue = 10;
constexpr int kWindCue = 21;

// min if min > x, else the smaller of max and x; all in single precision.
float clampAxis(const DofLimit& limit, double cue) {
    const float min = static_cast<float>(limit.min.load(std::memory_order_relaxed));
    const float max = static_cast<float>(limit.max.load(std::memory_order_relaxed));
    const float x = static_cast<float>(cue);
    return min > x ? min : std::min(max, x);
}

std::uint32_t beltValue(double cue) {
    const float x = static_cast<float>(cue);
    if (!(x > 0.0f)) return 0;
    if (x >= 4294967295.0f) return 0xFFFFFFFFU;
    return static_cast<std::uint32_t>(x);
}

void buildFrame(const MotionEngine& engine, std::array<std::uint8_t, kOutputFrameSize>& frame) {
    frame.fill(0);
    frame[0] = 0xFC;
    frame[1] = 0xFC;
    for (int k = 0; k < kAxes; ++k) {
        const float axis = clampAxis(engine.rigLimits[static_cast<std::size_t>(k)],
                                     engine.finalCues[static_cast<std::size_t>(k)]);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &axis, sizeof bits);
        for (int b = 0; b < 4; ++b)
            frame[static_cast<std::size_t>(2 + 4 * k + b)] = static_cast<std::uint8_t>(bits >> (8 * b));
    }
    const std::uint32_t belt = beltValue(engine.finalCues[kBeltCue]);
    for (int b = 0; b < 4; ++b)
        frame[static_cast<std::size_t>(26 + b)] = static_cast<std::uint8_t>(belt >> (24 - 8 * b));
    frame[34] = 0x0A;
    frame[35] = 0x0D;
}

// The host copies the frame with getOutputData while this thread rebuilds it; each byte is stored
// whole (the host may see one frame half old, half new, as with every array it reads).
void publishFrame(MotionEngine& engine, const std::array<std::uint8_t, kOutputFrameSize>& frame) {
    for (std::size_t i = 0; i < frame.size(); ++i)
        std::atomic_ref<std::uint8_t>(engine.outputFrame[i]).store(frame[i], std::memory_order_relaxed);
}

void writePose(MotionEngine& engine) {
    const auto& cue = engine.finalCues;
    const double gain = engine.poseGain.load(std::memory_order_relaxed);
    for (std::size_t k = 0; k < 4; ++k)
        engine.poseRaw[k] = gain * cue[k];
    // Channels 6 to 9 are in the roll and pitch cues already and enter the pose a second time here;
    // compensation layers are tuned to this pose.
    engine.poseRaw[4] = ((cue[6] + cue[4]) + cue[8]) * gain;
    engine.poseRaw[5] = ((cue[7] + cue[5]) + cue[9]) * gain;
    engine.poseInput = engine.poseRaw;
    // A filter below one tick (0, negative or not a number) would make the pose divide by zero,
    // oscillate or diverge, and a compensation layer would throw the headset's view: it passes the
    // pose through unsmoothed instead.
    const double setting = engine.poseFilter.load(std::memory_order_relaxed);
    const double filter = setting >= 1.0 && std::isfinite(setting) ? setting : 1.0;
    for (std::size_t k = 0; k < 6; ++k)
        engine.poseFiltered[k] =
            (engine.poseInput[k] - engine.poseFiltered[k]) / filter + engine.poseFiltered[k];
    engine.poseBlock.write(engine.poseFiltered);
}

void sendWindValue(MotionEngine& engine) {
    if (!engine.profiles[kAirProfile].getActivedof(kWindCue)) return;
    float v = static_cast<float>(engine.finalCues[kWindCue]);
    v = v > 100.0f ? 100.0f : (v > 0.0f ? v : 0.0f);
    engine.windByte[0] = static_cast<std::uint8_t>(v / 100.0f * 255.0f);
    if (engine.windSerial.isRunning()) {
        engine.windSerial.unpause();
        engine.windSerial.updateBuffer(engine.windByte);
    } else if (engine.windSerial.isInit()) {
        engine.windSerial.startInBackground();  // this tick's value is not delivered
    }
}

}  // namespace

void sendOutputFrame(MotionEngine& engine) {
    std::array<std::uint8_t, kOutputFrameSize> frame{};
    buildFrame(engine, frame);
    publishFrame(engine, frame);
    // Two identical frames per tick: controllers have always received them so. The whole frame goes,
    // even when its values contain 0x0A 0x0D.
    sendMotionFrame(frame.data(), frame.size());
    sendMotionFrame(frame.data(), frame.size());
    if (engine.motionCancelActive.load()) writePose(engine);
    sendWindValue(engine);
}

void openPoseBlock(MotionEngine& engine) {
    engine.poseBlock.open();
}

}  // namespace tarvelmond
