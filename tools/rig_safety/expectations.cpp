#include "expectations.h"

#include <algorithm>

namespace tarvelmond::rig_safety {

Expectations::Expectations(test::SafetyMonitor& monitor, double startWithinMs, Clock::time_point start)
    : monitor_(monitor), startWithinMs_(startWithinMs), quietSince_(start) {}

bool Expectations::all() const {
    return std::all_of(on_.begin(), on_.end(), [](bool on) { return on; });
}

bool Expectations::motionStopped() const {
    return !on_[static_cast<std::size_t>(Condition::Ready)] ||
           !on_[static_cast<std::size_t>(Condition::Thread)] ||
           !on_[static_cast<std::size_t>(Condition::Bridge)];
}

void Expectations::lose(Condition condition, Clock::time_point issued, Clock::time_point returned,
                        bool quiet) {
    if (all() && met_) monitor_.expectFrames(*met_, issued, startWithinMs_, stoppedBefore_);
    met_.reset();
    on(condition) = false;
    const bool stopsMotion =
        condition == Condition::Ready || condition == Condition::Thread || condition == Condition::Bridge;
    if (quiet && stopsMotion && !quietSince_) quietSince_ = returned;
}

void Expectations::regain(Condition condition, Clock::time_point issued, Clock::time_point returned) {
    on(condition) = true;
    if (quietSince_ && !motionStopped()) {
        monitor_.expectQuiet(*quietSince_, issued);
        stoppedBefore_ = quietSince_;
        quietSince_.reset();
    }
    if (all() && !met_) met_ = returned;
}

void Expectations::finish(Clock::time_point at) {
    if (all() && met_) monitor_.expectFrames(*met_, at, startWithinMs_, stoppedBefore_);
    met_.reset();
    if (quietSince_) monitor_.expectQuiet(*quietSince_, at);
    quietSince_.reset();
}

}  // namespace tarvelmond::rig_safety
