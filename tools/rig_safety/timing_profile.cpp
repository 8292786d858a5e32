#include "timing_profile.h"

namespace tarvelmond::rig_safety {
namespace {

std::string builtFor() {
#if defined(_WIN32)
    return "wine";
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return "sanitizer";
#else
    return "native";
#endif
}

}  // namespace

TimingProfile timingProfile(const std::string& name) {
    TimingProfile profile;
    profile.name = name.empty() ? builtFor() : name;
    if (profile.name == "wine") {
        profile.monitor.maxGapMs = 40.0;
        profile.monitor.latencyMs = 100.0;
        profile.monitor.flushMs = 100.0;
        profile.startWithinMs = 6000;
        profile.stopBoundMs = 2000;
    } else if (profile.name == "sanitizer") {
        profile.monitor.maxGapMs = 60.0;
        profile.monitor.latencyMs = 150.0;
        profile.monitor.flushMs = 150.0;
        profile.startWithinMs = 6000;
        profile.stopBoundMs = 3000;
    }
    return profile;
}

}  // namespace tarvelmond::rig_safety
