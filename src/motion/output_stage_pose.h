#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <mutex>

#include "motion/evaluation_gate.h"
#include "platform/shared_memory.h"

namespace tarvelmond {

// The rig pose for VR motion compensation: the shared block "Local\motionRigPose", 512 bytes, whose
// first six doubles another process reads. The game-source thread writes it every tick without
// waiting for anything; the host's thread may close it at any time: closing unhooks the view first,
// lets a write that is under way finish, and only then unmaps.
class PoseBlock {
  public:
    static constexpr const char* kName = "Local\\motionRigPose";
    static constexpr std::size_t kSize = 512;

    // Creates (or opens) the block and maps it; an open block is kept as it is. Not the real-time path.
    bool open();
    void close();
    bool isOpen() const { return view_.load() != nullptr; }

    // Real-time path: stores the six values if a view is mapped.
    void write(const std::array<double, 6>& pose);

  private:
    std::mutex mutex_;  // open and close, on the host's or the game-source thread
    platform::SharedMemory memory_;
    std::atomic<unsigned char*> view_{nullptr};
    EvaluationGate writes_;
};

}  // namespace tarvelmond
