#pragma once
#include <cstddef>
#include <cstdint>

namespace tarvelmond {

// Where the output stage hands each output frame: the link to the motion controller, or whatever a
// test or tool puts in its place. Called on the real-time thread: it must neither block nor allocate.
class FrameSink {
  public:
    // True when the frame was taken (queued for a controller).
    virtual bool takeFrame(const std::uint8_t* frame, std::size_t count) = 0;
    // The motion that made the frames not yet sent has stopped: they are dropped, never sent late.
    virtual void dropWaitingFrames() = 0;

  protected:
    ~FrameSink() = default;
};

}  // namespace tarvelmond
