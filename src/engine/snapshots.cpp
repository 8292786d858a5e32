#include "basics/host_shared.h"
#include "basics/snapshot_history.h"
#include "engine/motion_engine.h"
#include "engine/motion_tick.h"

namespace tarvelmond {

void recordSnapshots(MotionEngine& engine) {
    // The belt inputs and the effect channels (11 to 20) are not carried by the final mix, so their
    // shaped AIR values stand in the record.
    SnapshotHistory<kDofChannels>::Record position;
    for (std::size_t i = 0; i < position.size(); ++i) {
        position[i] =
            i >= 11 && i <= 20 ? observe(engine.cues.airStage[i]) : observe(engine.cues.finalCues[i]);
        publish(engine.positionSnapshot[i], position[i]);
    }
    engine.calculationHistory.append(position);

    SnapshotHistory<kGameDataSlots>::Record acceleration;
    for (std::size_t i = 0; i < acceleration.size(); ++i)
        acceleration[i] = observe(engine.gameSource.record.gameData[i]);
    engine.accelerationHistory.append(acceleration);
}

}  // namespace tarvelmond
