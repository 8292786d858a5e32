#include "motion/output_stage.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

namespace tarvelmond {
namespace {

constexpr int kAxes = 6;
constexpr int kBeltCue = 10;

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

void buildFrame(const OutputStage& output, const CueArray& finalCues,
                std::array<std::uint8_t, kOutputFrameSize>& frame) {
    frame.fill(0);
    frame[0] = 0xFC;
    frame[1] = 0xFC;
    for (std::size_t k = 0; k < static_cast<std::size_t>(kAxes); ++k) {
        const float axis = clampAxis(output.rigLimits[k], finalCues[k]);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &axis, sizeof bits);
        for (std::size_t b = 0; b < 4; ++b)
            frame[2 + 4 * k + b] = static_cast<std::uint8_t>(bits >> (8 * b));
    }
    const std::uint32_t belt = beltValue(finalCues[kBeltCue]);
    for (std::size_t b = 0; b < 4; ++b)
        frame[26 + b] = static_cast<std::uint8_t>(belt >> (24 - 8 * b));
    frame[34] = 0x0A;
    frame[35] = 0x0D;
}

// The host copies the frame with getOutputData while this thread rebuilds it; each byte is stored
// whole (the host may see one frame half old, half new, as with every array it reads).
void publishFrame(OutputStage& output, const std::array<std::uint8_t, kOutputFrameSize>& frame) {
    for (std::size_t i = 0; i < frame.size(); ++i)
        std::atomic_ref<std::uint8_t>(output.outputFrame[i]).store(frame[i], std::memory_order_relaxed);
}

void writePose(OutputStage& output, const CueArray& cue) {
    const double gain = output.poseGain.load(std::memory_order_relaxed);
    std::array<double, 6> pose{};
    for (std::size_t k = 0; k < 4; ++k)
        pose[k] = gain * cue[k];
    // Channels 6 to 9 are in the roll and pitch cues already and enter the pose a second time here;
    // compensation layers are tuned to this pose.
    pose[4] = ((cue[6] + cue[4]) + cue[8]) * gain;
    pose[5] = ((cue[7] + cue[5]) + cue[9]) * gain;
    // A filter below one tick (0, negative or not a number) would make the pose divide by zero,
    // oscillate or diverge, and a compensation layer would throw the headset's view: it passes the
    // pose through unsmoothed instead.
    const double setting = output.poseFilter.load(std::memory_order_relaxed);
    const double filter = setting >= 1.0 && std::isfinite(setting) ? setting : 1.0;
    for (std::size_t k = 0; k < 6; ++k)
        output.poseFiltered[k] = (pose[k] - output.poseFiltered[k]) / filter + output.poseFiltered[k];
    output.poseBlock.write(output.poseFiltered);
}

void sendWindValue(OutputStage& output, const CueArray& finalCues) {
    float v = static_cast<float>(finalCues[kWindChannel]);
    v = v > 100.0f ? 100.0f : (v > 0.0f ? v : 0.0f);
    output.windByte[0] = static_cast<std::uint8_t>(v / 100.0f * 255.0f);
    if (output.windSerial.isRunning()) {
        output.windSerial.unpause();
        output.windSerial.updateBuffer(output.windByte);
    } else if (output.windSerial.isInit()) {
        output.windSerial.startInBackground();  // this tick's value is not delivered
    }
}

}  // namespace

void sendOutputFrame(OutputStage& output, const CueArray& finalCues, bool windChannelActive,
                     FrameSink* sink) {
    std::array<std::uint8_t, kOutputFrameSize> frame{};
    buildFrame(output, finalCues, frame);
    publishFrame(output, frame);
    // Two identical frames per tick: controllers have always received them so. The whole frame goes,
    // even when its values contain 0x0A 0x0D.
    if (sink != nullptr) {
        sink->takeFrame(frame.data(), frame.size());
        sink->takeFrame(frame.data(), frame.size());
    }
    if (output.motionCancelActive.load()) writePose(output, finalCues);
    if (windChannelActive) sendWindValue(output, finalCues);
}

void openPoseBlock(OutputStage& output) {
    output.poseBlock.open();
}

}  // namespace tarvelmond
