#pragma once
#include <algorithm>

namespace tarvelmond {

// How early a pacing thread asks to be woken so that it is awake by its deadline: learned from the
// lateness of its own wake-ups on this machine. It tracks about the 99.5th percentile of that
// lateness: every wake-up later than the margin raises it by kRaiseUs, every other one lowers it by
// kLowerUs (so it settles where one wake-up in 200 is later). A single stall raises it only one step,
// and it stays within [kMinUs, kMaxUs], so the spin after a wake-up stays short and bounded.
class WakeUpMargin {
  public:
    static constexpr double kMinUs = 10.0;
    static constexpr double kMaxUs = 1000.0;  // the old pacing's spin: never worse than that
    static constexpr double kInitialUs = 200.0;
    static constexpr double kRaiseUs = 20.0;
    static constexpr double kLowerUs = 0.1;

    double us() const { return marginUs_; }

    // `latenessUs`: how long after the asked time the thread woke (negative if early).
    void record(double latenessUs) {
        marginUs_ = latenessUs > marginUs_ ? marginUs_ + kRaiseUs : marginUs_ - kLowerUs;
        marginUs_ = std::clamp(marginUs_, kMinUs, kMaxUs);
    }

  private:
    double marginUs_ = kInitialUs;
};

}  // namespace tarvelmond
