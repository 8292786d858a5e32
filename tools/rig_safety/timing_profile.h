#pragma once
#include <string>

#include "peers/safety_monitor.h"

namespace tarvelmond::rig_safety {

// How much time the rules give, by where the library runs. Natively the rig must see a frame every
// 20 ms; under Wine and under the sanitizers everything is slower, and the bounds say by how much.
struct TimingProfile {
    std::string name;
    test::SafetyTiming monitor;
    double startWithinMs = 3000;  // frames begin this soon after everything is in place
    double stopBoundMs = 1000;    // a stop call returns this soon
    double hangMs = 20000;        // a call this late never returns: the run ends
};

// "native", "sanitizer" or "wine"; empty: the one this program was built for.
TimingProfile timingProfile(const std::string& name = {});

}  // namespace tarvelmond::rig_safety
