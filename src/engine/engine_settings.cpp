#include "engine/engine_settings.h"

#include "engine/motion_engine.h"

namespace tarvelmond {
namespace {

bool isDof(int dof) {
    return static_cast<unsigned>(dof) < static_cast<unsigned>(kDofChannels);
}

void storeLimit(DofLimit& limit, double min, double max) {
    limit.min.store(min, std::memory_order_relaxed);
    limit.max.store(max, std::memory_order_relaxed);
}

}  // namespace

// The hold is asked for before the rig is made ready: the first worked tick then takes it, and no tick
// can send the live pose unfaded in between.
void applyMotionSystemReady(MotionEngine& engine, int ready) {
    if (ready == 1 && !engine.motionSystemReady.load()) {
        requestHold(engine);
        engine.motionSystemReady.exchange(true);
    } else if (ready == 0 && engine.motionSystemReady.load()) {
        requestHold(engine);
        engine.motionSystemReady.exchange(false);
    }
}

void applyActiveAxis(MotionEngine& engine, int profile, int dof, bool active) {
    if (MotionProfile* target = engine.cues.hostProfile(profile); target != nullptr && isDof(dof)) {
        target->requestActive(dof, active);
    }
    requestHold(engine);  // whatever the arguments: the host expects the fade to restart
}

void applyBeltMix(MotionEngine& engine, int profile, int index, double weight) {
    if (MotionProfile* target = engine.cues.hostProfile(profile);
        target != nullptr && static_cast<unsigned>(index) < static_cast<unsigned>(kGameDataSlots)) {
        target->setBeltMix(index, weight);
    }
}

void applyRigLimit(MotionEngine& engine, int dof, double min, double max) {
    if (isDof(dof)) storeLimit(engine.output.rigLimits[static_cast<std::size_t>(dof)], min, max);
}

void applyInputLimit(MotionEngine& engine, int dof, double min, double max) {
    if (!isDof(dof)) return;
    auto& limit = engine.cues.inputLimits[static_cast<std::size_t>(dof)];
    if (dof <= 7) {
        storeLimit(limit, min, max);
    } else if (dof <= 9) {
        storeLimit(limit, -360.0, 360.0);  // the position channels always take a full turn each way
    }
}

}  // namespace tarvelmond
