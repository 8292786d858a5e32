#include "replay.h"

#include <cmath>

#include "engine/motion_tick.h"

namespace tarvelmond::offline {
namespace {

// The slot whose reader would deliver the recording: a flight simulator, so that its on-ground flag
// drives the air/ground transition.
constexpr int kReplaySlot = kXplane;

}  // namespace

std::unique_ptr<MotionEngine> makeReplayEngine() {
    return std::make_unique<MotionEngine>();
}

void replayTelemetry(MotionEngine& engine, const TelemetryTable& table, const TickSink& sink) {
    // What the game-source thread does when it connects a game: the slot becomes active, output may
    // go out, and the loop timer starts measuring.
    engine.gameSource.clearActiveFlags();
    engine.gameSource.active[kReplaySlot].store(true);
    engine.connected.store(true);
    engine.outputBlocked.store(false);
    std::int64_t counter = 0;
    engine.loopTimer.tickAt(counter);
    const auto ticksPerTick = static_cast<std::int64_t>(std::llround(engine.loopTimer.ticksPerMs * 2.0));

    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        const auto values = table.row(r);
        for (std::size_t c = 0; c < table.channels.size(); ++c)
            engine.gameSource.record.set(table.channels[c], values[c]);
        engine.gameSource.onGround[kReplaySlot] = table.onGround[r];
        engine.gameSource.record.setFrameTimeMs(2.0);

        counter += ticksPerTick;
        engine.loopTimer.tickAt(counter);
        runMotionTick(engine);
        if (sink) sink(TickView{r, static_cast<double>(r) * kTickSeconds, table.onGround[r] != 0, engine});
    }
}

}  // namespace tarvelmond::offline
