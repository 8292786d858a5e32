#include "engine/chain_replacement.h"

#include "engine/motion_engine.h"

namespace tarvelmond {

int replaceFilterChain(MotionEngine& engine, int profile, int dof, const char* filter) {
    requestHold(engine);
    engine.outputBlocked.store(true);
    if (filter == nullptr) return 0;

    FilterChain chain = parseFilterString(filter);
    if (!chain.valid) return 0;

    MotionProfile* target = engine.cues.hostProfile(profile);
    if (target == nullptr || static_cast<unsigned>(dof) >= static_cast<unsigned>(kDofChannels)) return 0;

    auto previous = target->chain(dof).exchange(std::move(chain));
    engine.outputBlocked.store(false);
    // The game-source thread may still be walking the previous chain; it is released here, on this
    // thread, once no computation that could have picked it up is running.
    engine.cues.evaluationGate.waitForEvaluations();
    previous.reset();
    return 1;
}

}  // namespace tarvelmond
