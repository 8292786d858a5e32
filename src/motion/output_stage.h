#pragma once
#include <tarvelmond.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "basics/frame_sink.h"
#include "motion/cue_stage.h"
#include "motion/output_stage_pose.h"

namespace tarvelmond {

inline constexpr std::size_t kOutputFrameSize = 36;
// The cue that drives the wind device (0 to 100 %).
inline constexpr int kWindChannel = 21;

// The end of the pipeline: the rig limits, the last output frame, the motion-cancel pose and the wind
// device. The game-source thread writes them every worked tick; host threads set the limits and the
// pose controls and read the frame.
struct OutputStage {
    // First, so that it is built first and destroyed last.
    WindSerial windSerial;
    DofLimits rigLimits;
    std::array<std::uint8_t, kOutputFrameSize> outputFrame{};

    std::atomic<bool> motionCancelActive{false};
    PoseBlock poseBlock;
    std::array<double, 6> poseFiltered{};
    std::atomic<double> poseFilter{60.0};
    std::atomic<double> poseGain{1.0};

    std::vector<std::uint8_t> windByte = std::vector<std::uint8_t>(1);  // handed to windSerial each tick
};

// The end of a worked tick: clamps axes 0 to 5 to the rig limits and builds the 36-byte output frame
// (0xFC 0xFC, six floats, the belt big-endian, four zeros, 0x0A 0x0D), hands it twice to `sink` (none:
// the frame is only published), writes the motion-cancel pose and, when the AIR profile drives the
// wind channel, feeds the wind device. Game-source thread; allocates nothing and waits for no device.
void sendOutputFrame(OutputStage& output, const CueArray& finalCues, bool windChannelActive, FrameSink* sink);

// The pose block, as the game-source thread's reset and activateMotionCancel open it.
void openPoseBlock(OutputStage& output);

}  // namespace tarvelmond
